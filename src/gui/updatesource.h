// UpdateSource: where the update check and the update download look, and how
// long they wait for the server.
#pragma once

#include <QNetworkRequest>
#include <QUrl>

// The program always asks the product's update host (productinfo.h). Tests
// point the check at a server of their own on the loopback address and
// shorten the waits; the program never calls the setters. GUI thread only.
class UpdateSource {
public:
    // The update description's address: the base (the product's update
    // host unless a test set another) with the description's path.
    static QUrl descriptionUrl();
    // A request to url as the check and the download send it: asking for
    // the bytes unpacked, so that a byte limit and an announced length count
    // what is written (an installer is packed anyway).
    static QNetworkRequest request(const QUrl &url);
    // Milliseconds an update check may take in all.
    static int checkTimeoutMs();
    // Milliseconds a download may go without receiving a byte.
    static int stallTimeoutMs();

    // For tests only: another scheme, host and port for the description.
    static void setBaseUrl(const QUrl &url);
    // For tests only: shorter waits.
    static void setTimeouts(int iCheckMs, int iStallMs);
};
