// Controls found by their dialog identifier, as dialog templates name them.
#pragma once

class QWidget;

namespace velomat {

namespace id {
inline constexpr int kNone = -1;  // static texts nobody looks up
}  // namespace id

// The control of `parent` with dialog identifier `dialogId`, or nullptr.
QWidget* dialogItem(const QWidget* parent, int dialogId);
// The dialog identifier of a control, or id::kNone.
int dialogIdOf(const QWidget* control);
void setDialogId(QWidget* control, int dialogId);

}  // namespace velomat
