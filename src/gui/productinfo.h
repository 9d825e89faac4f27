// Product: the program's own version and the addresses it names, kept in
// one place.
#pragma once

namespace Product {

// The version this program is; the update check compares the published
// version against it, and the About box shows it.
inline constexpr char kVersion[] = "1.00.03";

// The maker's web domain; with the organisation and application names it
// names the settings store.
inline constexpr char kOrganisationDomain[] = "quorvane.com";

// Where the update description is published: the host, then the path on it.
// The host is a placeholder under our own domain until the product has a
// real download server; until then every check ends in a failure text.
inline constexpr char kUpdateHost[] = "https://pelimund.quorvane.com";
inline constexpr char kUpdatePath[] = "/pelimund/update.vrel";

} // namespace Product
