// Fuzz target for the update description reader: any bytes the update host
// might send give either a failure text or a version that fits and an
// absolute http or https address; the version's number never overflows.
#include "gui/updatedescription.h"
#include "gui/versionnumber.h"

#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void failure(const char *sWhat) {
    std::fprintf(stderr, "fuzz_updatedescription: %s\n", sWhat);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t iSize) {
    const QByteArray baInput(reinterpret_cast<const char *>(pData), qsizetype(iSize));
    const UpdateDescription description = UpdateDescription::parse(baInput);
    if (!description.isValid()) {
        if (!description.baVersion.isEmpty() || !description.url.isEmpty())
            failure("a refused description handed out values");
        return 0;
    }
    const QByteArray &baVersion = description.baVersion;
    if (baVersion.isEmpty() || baVersion.size() > UpdateDescription::iMaxVersion ||
        baVersion.contains('\0'))
        failure("a version outside the limits was taken");
    const QString sScheme = description.url.scheme();
    if (!description.url.isValid() || description.url.isRelative() ||
        (sScheme != "http" && sScheme != "https") || description.url.host().isEmpty())
        failure("an address that is no absolute web address was taken");
    // Any text at all, also one without a terminating zero inside it.
    (void)versionNumber(baVersion.constData());
    (void)versionNumber(baInput.constData());
    return 0;
}
