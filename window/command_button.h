#pragma once

#include <QPushButton>

namespace potpanel {

// A push button that is never the window's default or cancel button, so Enter
// in another control never presses it; while it has focus, Space, Enter and
// Return press it.
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(const QString& text, QWidget* parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace potpanel
