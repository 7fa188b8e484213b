#pragma once

#include <QMessageBox>
#include <exception>

namespace potpanel {

// The message that tells the operator why the panel cannot go on: the window's
// caption as its title, the failure's words as plain text, and OK.
class FailureMessage : public QMessageBox
{
public:
    explicit FailureMessage(const QString& text);
};

// Shows the failure and returns once the operator has dismissed it.
void showFailure(const std::exception& failure);

} // namespace potpanel
