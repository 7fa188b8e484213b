#include "reconnect_question.h"

#include "application_identity.h"
#include "form1.h"

#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace potpanel {

bool askReconnect(const QString& text)
{
    // Also where a session's log keeps it, as every failure is.
    std::fprintf(stderr, "%s: %s\n", applicationName,
                 text.section(QLatin1Char('\n'), 0, 0).toUtf8().constData());
    QMessageBox question(QMessageBox::Warning,
                         QString::fromUtf8(form1Caption.data(), qsizetype(form1Caption.size())),
                         text);
    // Plain text: the device's name is the operator's, markup included.
    question.setTextFormat(Qt::PlainText);
    QPushButton* reconnect =
        question.addButton(QStringLiteral("&Reconnect"), QMessageBox::AcceptRole);
    QPushButton* ok = question.addButton(QMessageBox::Ok);
    question.setDefaultButton(ok);
    question.setEscapeButton(ok);
    question.exec();
    return question.clickedButton() == reconnect;
}

} // namespace potpanel
