// UpdateSource: the product's update host unless a test set another.
#include "gui/updatesource.h"

#include "gui/productinfo.h"

namespace {

QUrl &baseUrl() {
    static QUrl url(QString::fromLatin1(Product::kUpdateHost));
    return url;
}

// A check is one small file: half a minute is plenty even on a poor line.
int iCheckTimeoutMs = 30'000;
// A download may be slow, but a minute without a byte means it has stopped.
int iStallTimeoutMs = 60'000;

} // namespace

QUrl UpdateSource::descriptionUrl() {
    QUrl url = baseUrl();
    url.setPath(QString::fromLatin1(Product::kUpdatePath));
    return url;
}

QNetworkRequest UpdateSource::request(const QUrl &url) {
    QNetworkRequest request(url);
    request.setRawHeader("Accept-Encoding", "identity");
    return request;
}

int UpdateSource::checkTimeoutMs() {
    return iCheckTimeoutMs;
}

int UpdateSource::stallTimeoutMs() {
    return iStallTimeoutMs;
}

void UpdateSource::setBaseUrl(const QUrl &url) {
    baseUrl() = url;
}

void UpdateSource::setTimeouts(int iCheckMs, int iStallMs) {
    iCheckTimeoutMs = iCheckMs;
    iStallTimeoutMs = iStallMs;
}
