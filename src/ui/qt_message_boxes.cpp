#include "ui/qt_message_boxes.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "ui/dialog_builder.h"

namespace velomat {

QString applicationTitle() {
  return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

BoxAnswer QtMessageBoxes::show(std::string_view text, std::string_view caption, BoxButtons buttons) {
  const QString qText = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const QString qCaption = caption.empty()
                               ? applicationTitle()
                               : QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || QThread::currentThread() == app->thread()) return showHere(qText, qCaption, buttons);

  // Another thread waits for the GUI thread, but never for one that is ending the program: it may be
  // waiting for this thread itself.
  auto request = std::make_shared<Request>();
  const std::shared_ptr<Waiting> waiting = waiting_;
  {
    std::lock_guard lock(waiting->mutex);
    if (waiting->abandoned) return BoxAnswer::Cancel;
  }
  QMetaObject::invokeMethod(
      app,
      [this, waiting, request, qText, qCaption, buttons] {
        {
          std::lock_guard lock(waiting->mutex);
          if (waiting->abandoned) return;  // the program is ending: the box is not wanted any more
        }
        const BoxAnswer answer = showHere(qText, qCaption, buttons);
        std::lock_guard lock(waiting->mutex);
        request->answer = answer;
        request->done = true;
        waiting->answered.notify_all();
      },
      Qt::QueuedConnection);
  std::unique_lock lock(waiting->mutex);
  waiting->answered.wait(lock, [&] { return request->done || waiting->abandoned; });
  return request->done ? request->answer : BoxAnswer::Cancel;
}

void QtMessageBoxes::abandonWaiting() {
  std::lock_guard lock(waiting_->mutex);
  waiting_->abandoned = true;
  waiting_->answered.notify_all();
}

BoxAnswer QtMessageBoxes::showHere(const QString& text, const QString& caption, BoxButtons buttons) {
  QMessageBox::StandardButtons standard;
  switch (buttons) {
    case BoxButtons::Ok:
      standard = QMessageBox::Ok;
      break;
    case BoxButtons::OkCancel:
      standard = QMessageBox::Ok | QMessageBox::Cancel;
      break;
    case BoxButtons::RetryCancel:
      standard = QMessageBox::Retry | QMessageBox::Cancel;
      break;
    case BoxButtons::YesNoCancel:
      standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
      break;
  }
  // Over the main window once it shows; before that (while the program connects) in the screen's middle.
  QWidget* over = parent_ != nullptr && parent_->isVisible() ? parent_.data() : nullptr;
  QMessageBox box(QMessageBox::NoIcon, caption, text, standard, over);
  // The box holds the main window only: the simulation window beside it is the hardware, and the
  // user must be able to plug the line back in before answering "Wiederholen".
  if (over != nullptr) box.setWindowModality(Qt::WindowModal);
  box.setWindowIcon(programIcon());  // also before the main window, which would lend it its own
  // Without an icon the text needs no indent for one: it keeps the same margin on either side.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->setHorizontalSpacing(0);  // only the icon's column stood beside the text
    for (int i = grid->count() - 1; i >= 0; --i) {
      QLayoutItem* item = grid->itemAt(i);
      if (QSpacerItem* indent = item->spacerItem()) {
        grid->removeItem(indent);
        delete indent;
      } else if (item->widget() != nullptr && item->widget()->property("text").toString() == text) {
        // The width a long text leaves over goes to the text's column, not the empty one before it.
        int row, column, rows, columns;
        grid->getItemPosition(i, &row, &column, &rows, &columns);
        grid->setColumnStretch(column, 1);
      }
    }
  }
  // The buttons speak the program's language, as the system's boxes do on a German desktop.
  const std::pair<QMessageBox::StandardButton, const char*> german[] = {{QMessageBox::Ok, "OK"},
                                                                        {QMessageBox::Cancel, "Abbrechen"},
                                                                        {QMessageBox::Retry, "&Wiederholen"},
                                                                        {QMessageBox::Yes, "&Ja"},
                                                                        {QMessageBox::No, "&Nein"}};
  for (const auto& [button, label] : german) {
    if (QAbstractButton* shown = box.button(button)) shown->setText(QString::fromUtf8(label));
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return BoxAnswer::Ok;
    case QMessageBox::Retry:
      return BoxAnswer::Retry;
    case QMessageBox::Yes:
      return BoxAnswer::Yes;
    case QMessageBox::No:
      return BoxAnswer::No;
    default:
      return BoxAnswer::Cancel;  // Cancel, Escape and the close box
  }
}

}  // namespace velomat
