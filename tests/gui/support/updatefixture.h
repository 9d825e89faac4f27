// Update descriptions as the update host publishes them, and the loopback
// server that plays the host, for the update tests.
#pragma once

#include "gui/settingskeys.h"
#include "gui/updatesource.h"
#include "support/httpserver.h"
#include "vrel/vrel.h"

#include "support/guitest.h"

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

namespace GuiTest {

// The description's bytes: a dictionary whose "win32" dictionary holds the
// given values (a null value leaves the entry out).
inline QByteArray descriptionOf(Vrel::Object *pVersion, Vrel::Object *pUrl) {
    Vrel::Dictionary root;
    auto *pWin32 = new Vrel::Dictionary;
    root.insert("win32", pWin32);
    root.insert("linux", "ignored");
    if (pVersion)
        pWin32->insert("version", pVersion);
    if (pUrl)
        pWin32->insert("url", pUrl);
    QByteArray baOut;
    QBuffer buffer(&baOut);
    buffer.open(QIODevice::WriteOnly);
    Vrel::VrelStream(&buffer).writeObject(&root);
    return baOut;
}

inline QByteArray description(const QByteArray &baVersion, const QByteArray &baUrl) {
    return descriptionOf(new Vrel::String(baVersion), new Vrel::String(baUrl));
}

// Settings under which a main window starts with no dialog and no update
// check of its own (a vault was used before, the last check is now).
inline void quietStart() {
    QSettings settings;
    settings.setValue(SettingsKey::kRecentList, QStringList{"elsewhere.vault"});
    settings.setValue(SettingsKey::kUseWelcomeDlg, false);
    settings.setValue(SettingsKey::kLastUpdateCheck, QDateTime::currentSecsSinceEpoch());
}

// A server that the update check asks, with short waits, and a temporary
// folder of its own for the downloads.
struct UpdateHost {
    static constexpr int kCheckMs = 1500;
    static constexpr int kStallMs = 1500;
    HttpServer server;
    QTemporaryDir temp{GuiTest::homePath() + "/tmp-XXXXXX"};

    UpdateHost() {
        UpdateSource::setBaseUrl(server.baseUrl());
        UpdateSource::setTimeouts(kCheckMs, kStallMs);
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
    }
    ~UpdateHost() { UpdateSource::setBaseUrl(QUrl("http://127.0.0.1:1")); }

    // The description's answer.
    void publish(const HttpServer::Reply &reply) {
        server.setReply("/pelimund/update.vrel", reply);
    }
    void publish(const QByteArray &baBody) {
        HttpServer::Reply reply;
        reply.baBody = baBody;
        publish(reply);
    }
    int checks() const { return server.requestCount("/pelimund/update.vrel"); }
};

} // namespace GuiTest
