#include "failure_message.h"

#include "application_identity.h"
#include "form1.h"

#include <cstdio>

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
    // Also where a session's log keeps it, for whoever looks after the message is gone.
    std::fprintf(stderr, "%s: %s\n", applicationName, failure.what());
    FailureMessage(QString::fromUtf8(failure.what())).exec();
}

} // namespace potpanel
