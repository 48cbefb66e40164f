#include "ui/dialog_ids.h"

#include <QVariant>
#include <QWidget>

namespace velomat {

namespace {
constexpr const char* kDialogIdProperty = "dialogId";
}  // namespace

QWidget* dialogItem(const QWidget* parent, int dialogId) {
  if (parent == nullptr) return nullptr;
  for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (dialogIdOf(child) == dialogId) return child;
  }
  return nullptr;
}

int dialogIdOf(const QWidget* control) {
  const QVariant value = control->property(kDialogIdProperty);
  return value.isValid() ? value.toInt() : id::kNone;
}

void setDialogId(QWidget* control, int dialogId) {
  control->setProperty(kDialogIdProperty, dialogId);
}

}  // namespace velomat
