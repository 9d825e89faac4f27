// UpdateDescription: the update host's reply, checked part by part.
#include "gui/updatedescription.h"

#include "gui/replywatch.h"
#include "vrel/vrel.h"

#include <QBuffer>
#include <QNetworkReply>

#include <memory>

namespace {

UpdateDescription failure(const QString &sWhy) {
    UpdateDescription description;
    description.sFailure = sWhy;
    return description;
}

// The update host's answer is worth reading only as a dictionary.
std::unique_ptr<Vrel::Object> readValue(const QByteArray &baBody) {
    QByteArray baCopy(baBody);
    QBuffer buffer(&baCopy);
    buffer.open(QIODevice::ReadOnly);
    Vrel::VrelStream stream(&buffer);
    return std::unique_ptr<Vrel::Object>(stream.readObject());
}

} // namespace

UpdateDescription UpdateDescription::parse(const QByteArray &baBody) {
    if (baBody.size() > iMaxBytes)
        return failure(tr("the answer is too large"));
    std::unique_ptr<Vrel::Object> pValue;
    try {
        pValue = readValue(baBody);
    } catch (const std::exception &) {
        return failure(tr("the answer is not an update description"));
    }
    const auto *pRoot = dynamic_cast<const Vrel::Dictionary *>(pValue.get());
    const Vrel::Dictionary *pWin32 = pRoot ? pRoot->valueDict("win32") : nullptr;
    if (!pWin32)
        return failure(tr("the answer is not an update description"));

    const auto *pVersion = dynamic_cast<const Vrel::String *>(pWin32->value("version"));
    if (!pVersion || pVersion->isEmpty() || pVersion->size() > iMaxVersion ||
        pVersion->contains('\0'))
        return failure(tr("the update description names no valid version"));

    const auto *pUrl = dynamic_cast<const Vrel::String *>(pWin32->value("url"));
    const QUrl url = pUrl ? QUrl(QString::fromUtf8(*pUrl), QUrl::StrictMode) : QUrl();
    const QString sScheme = url.scheme().toLower();
    if (!url.isValid() || url.isRelative() || (sScheme != "http" && sScheme != "https") ||
        url.host().isEmpty())
        return failure(tr("the update description names no valid download address"));

    UpdateDescription description;
    description.baVersion = *pVersion;
    description.url = url;
    return description;
}

UpdateDescription UpdateDescription::fromReply(QNetworkReply *pReply) {
    const QString sFailure = ReplyWatch::failureOf(pReply);
    if (!sFailure.isEmpty())
        return failure(sFailure);
    return parse(pReply->read(iMaxBytes + 1));
}
