// Writes the starting corpus of the parse_profile fuzz target into the folder given as argument:
// small documents that reach each part of the decoder and each validation rule, and some just past
// the nesting limit so that mutations explore both sides of it.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/profile_samples.hpp"

namespace {

const std::string DOCUMENTS[] = {
    "",
    "\xEF\xBB\xBFschema_version = 1\n",
    std::string(vantrel::profile_samples::COMPLETE),
    // Escapes in a basic string, inside a capability.
    std::string(vantrel::profile_samples::COMPLETE) + "notes = \"\\x41\\e\"\n",
    R"(schema_version = 1
id = "famille"
display_name = "Famille"
scope = "family"
matches = { version_contains = ["Exemple"], mtm = ["abcd"] }
capabilities = [
  { id = "a", label = "", access = { method = "msr", address = 0x1A0 }, confidence = "assumed", sources = [""] },
  { id = "b", label = "", access = { method = "ec", offset = 0b1010 }, confidence = "documented", sources = ["x"] },
  { id = "c", label = "", access = { method = "acpi", path = '\_SB' }, confidence = "assumed", sources = ["x"] },
  { id = "d", label = "", access = { method = "platform_profile", extra = 1 }, confidence = "assumed", sources = ["x"] },
]
)",
    "schema_version = 2\nid = \"   \"\ndisplay_name = \"\"\nscope = \"model\"\nmatches = {}\n",
    "schema_version = 1\nid = \"m\"\ndisplay_name = \"\"\nscope = \"model\"\n[matches]\nmtm = [\"20AB\", \"20-B\"]\n",
    "schema_version = -1\nscope = { model = {} }\nvalidated_on = 2025-03-14\n",
    "a+b = 1\nμ = 2\nx = 0x1p4\n[\"é\"]\n[é.y]\n",
    "notes = \"\"\"ligne \\\n    éà\"\"\"\n",
    "[[[1]]]\n[&\n",
};

std::string repeated(std::string_view piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage : profile_corpus DOSSIER\n", stderr);
        return 2;
    }
    std::vector<std::string> documents(std::begin(DOCUMENTS), std::end(DOCUMENTS));
    documents.push_back(repeated("a.", 100) + "a = 1\n");
    documents.push_back("[" + repeated("a.", 100) + "a]\n");
    documents.push_back("x = " + repeated("[{ a = ", 34) + "\n");
    int index = 0;
    for (const std::string& document : documents) {
        std::ofstream out(std::string(argv[1]) + "/profile-" + std::to_string(index++) + ".toml", std::ios::binary);
        out << document;
        if (!out) return 1;
    }
    return 0;
}
