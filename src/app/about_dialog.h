// The About box: the program's name, version and authors. OK, Escape and the close box close it.
#pragma once

#include <QDialog>

namespace velomat {

inline constexpr const char* kAboutCaption = "Info über Velomat";
inline constexpr const char* kAboutMenuText = "Inf&o über Velomat...";  // the window menu's item

class AboutDialog final : public QDialog {
 public:
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace velomat
