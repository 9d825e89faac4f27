// AutoForget: the idle timer after which the open vault is closed.
#include "gui/autoforget.h"

#include <QEvent>
#include <QTimer>

#include <algorithm>

AutoForget::AutoForget(QObject *pParent) : QObject(pParent), pTimer(new QTimer(this)) {
    connect(pTimer, SIGNAL(timeout()), this, SLOT(tripped()));
}

bool AutoForget::eventFilter(QObject *pWatched, QEvent *pEvent) {
    // Sees every event of the application: compare and restart, nothing more.
    switch (pEvent->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: // the second press of a double click
        if (iMin > 0)
            pTimer->start(iMin * iMinuteMs);
        emit userActed();
        break;
    default:
        break;
    }
    return QObject::eventFilter(pWatched, pEvent);
}

int AutoForget::remainingTime() const {
    return pTimer->isActive() ? pTimer->remainingTime() : -1;
}

void AutoForget::timeoutChanged(int iMinutes) {
    iMin = std::clamp(iMinutes, 0, kMaxMinutes);
    if (iMin > 0)
        pTimer->start(iMin * iMinuteMs);
    else
        pTimer->stop();
}

void AutoForget::tripped() {
    emit forget();
}
