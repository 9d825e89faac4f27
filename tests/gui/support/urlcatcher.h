// UrlCatcher: takes the links the program hands to the desktop for one
// scheme, so that tests see them instead of a browser or file manager.
#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace GuiTest {

// Catches the scheme's links while it lives. GUI thread only.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    explicit UrlCatcher(const QString &sScheme) : sScheme(sScheme) {
        QDesktopServices::setUrlHandler(sScheme, this, "open");
    }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(sScheme); }

    // Every link caught so far, in order.
    QList<QUrl> lOpened;

public slots:
    void open(const QUrl &url) { lOpened << url; }

private:
    QString sScheme;
};

} // namespace GuiTest
