#pragma once
// Readable GoogleTest output for the identification records: a failed comparison names the field
// that differs instead of dumping bytes.

#include <optional>
#include <ostream>
#include <string>

#include "hal/src/identity.hpp"
#include "hal/src/smbios/smbios.hpp"

namespace vantrel {

namespace test_printing {
inline void field(std::ostream& out, const char* name, const std::optional<std::string>& value) {
    out << "\n  " << name << ": ";
    if (value)
        out << '"' << *value << '"';
    else
        out << "absent";
}
}  // namespace test_printing

inline void PrintTo(const SmbiosFields& f, std::ostream* out) {
    using test_printing::field;
    *out << "SmbiosFields{";
    field(*out, "bios_vendor", f.bios_vendor);
    field(*out, "bios_version", f.bios_version);
    field(*out, "bios_release_date", f.bios_release_date);
    field(*out, "system_manufacturer", f.system_manufacturer);
    field(*out, "system_product_name", f.system_product_name);
    field(*out, "system_version", f.system_version);
    field(*out, "system_family", f.system_family);
    field(*out, "baseboard_product", f.baseboard_product);
    *out << "}";
}

inline void PrintTo(const MachineIdentity& m, std::ostream* out) {
    using test_printing::field;
    *out << "MachineIdentity{";
    field(*out, "manufacturer", m.manufacturer);
    field(*out, "mtm", m.mtm);
    field(*out, "display_name", m.display_name);
    field(*out, "bios_vendor", m.bios_vendor);
    field(*out, "bios_version", m.bios_version);
    field(*out, "bios_release_date", m.bios_release_date);
    field(*out, "sources.manufacturer", m.sources.manufacturer);
    field(*out, "sources.mtm", m.sources.mtm);
    field(*out, "sources.display_name", m.sources.display_name);
    field(*out, "sources.bios_vendor", m.sources.bios_vendor);
    field(*out, "sources.bios_version", m.sources.bios_version);
    field(*out, "sources.bios_release_date", m.sources.bios_release_date);
    *out << "}";
}

}  // namespace vantrel
