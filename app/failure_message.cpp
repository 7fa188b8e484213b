#include "failure_message.h"

#include "form1_controls.h"

namespace potpanel {

FailureMessage::FailureMessage(const QString& text)
    : QMessageBox(QMessageBox::Critical,
                  QString::fromUtf8(form1Caption.data(), qsizetype(form1Caption.size())), text,
                  QMessageBox::Ok)
{
    // Plain text: the message quotes names (of processes, of files, of devices)
    // that anyone can choose, markup included.
    setTextFormat(Qt::PlainText);
}

void showFailure(const std::exception& failure)
{
    FailureMessage(QString::fromUtf8(failure.what())).exec();
}

} // namespace potpanel
