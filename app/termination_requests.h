#pragma once

#include <QObject>

class QSocketNotifier;

namespace potpanel {

// Turns SIGTERM, SIGHUP and SIGINT into a signal delivered by the event loop, so
// that the session ending the program closes the window like any other close.
class TerminationRequests : public QObject
{
    Q_OBJECT

public:
    explicit TerminationRequests(QObject* parent = nullptr);
    ~TerminationRequests() override;

signals:
    void requested();

private:
    QSocketNotifier* notifier_;
};

} // namespace potpanel
