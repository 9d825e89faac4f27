// AutoForget: the idle timer after which the open vault is saved and closed,
// so that its password is not kept while nobody uses the program.
#pragma once

#include <QObject>

class QTimer;

// Installed as an event filter on the whole application, it restarts its
// countdown on every key press and mouse-button press anywhere (and says so
// through userActed()) and emits forget() once a full idle period has
// passed; the timer repeats, so each further idle period emits again. It
// consumes or changes no event.
//
// The idle time is given in minutes: 0 or less switches the timer off, and
// anything above kMaxMinutes (the largest the options offer) is taken as
// kMaxMinutes, so that a hand-edited setting can neither overflow the timer
// nor make it fire at once. GUI thread only.
class AutoForget : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxMinutes = 360;

    explicit AutoForget(QObject *pParent = nullptr);

    bool eventFilter(QObject *pWatched, QEvent *pEvent) override;

    // The idle time in minutes now in force (0 when off).
    int minutes() const { return iMin; }
    // Milliseconds left before forget() is emitted; -1 when off.
    int remainingTime() const;
    // How long a minute lasts in milliseconds (60000). Tests shorten it to
    // see a whole idle period pass; takes effect with the next restart.
    void setMinuteLength(int iMs) { iMinuteMs = iMs; }

public slots:
    // Takes iMinutes as the idle time and starts the countdown anew, or
    // stops it when iMinutes is 0 or less.
    void timeoutChanged(int iMinutes);

signals:
    // A whole idle period has passed.
    void forget();
    // A key or mouse button was pressed: whatever waited for the idle time
    // that ran before is void.
    void userActed();

protected slots:
    void tripped();

private:
    QTimer *pTimer;
    int iMin = 0;
    int iMinuteMs = 60000;
};
