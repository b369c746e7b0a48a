#pragma once
// What toml++ does not check on its own, read from the document's text with a small lexer of
// our own: the limits that keep parsing fast and shallow, checked before parsing, and TOML 1.1,
// checked after. toml++'s unreleased mode, which reads TOML 1.1, also reads bare keys with '+'
// or non-ASCII letters and hexadecimal floats; they are syntax faults here.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "src/profiles/decode_report.hpp"

namespace vantrel {

// A document nested deeper than this is refused before it is parsed: toml++ recurses once per
// nested array or inline table, and the node tree is visited and destroyed recursively, so a deep
// document would overflow the stack (the main thread's stack is small under Wine). Every part of
// a table header or key, every `[[...]]`, array and inline table counts one level; the tree is at
// most twice as deep as the count, when every part of a header is an array of tables. Real
// profiles stay far below it.
inline constexpr std::size_t MAX_NESTING = 100;

// A document naming more tables than this is refused before it is parsed: toml++ looks a table
// named by a header or a dotted key up in lists of all such tables met so far, which makes their
// number cost its square. Every part of a table header and every part but the last of a dotted
// key names one. Real profiles stay far below it.
inline constexpr std::size_t MAX_TABLES = 10000;

// The first place where `text` goes past MAX_NESTING or MAX_TABLES, in toml++'s words.
[[nodiscard]] std::optional<Fault> find_excess(std::string_view text);

// `text` with the text of its comments left out: each comment keeps its '#' and its line's end,
// so everything outside comments stays at the same line and column. toml++ reads comments
// character by character, and the sources that profiles quote in comments made them two thirds
// of its work. A comment holding what toml++ refuses in one (a control character, a carriage
// return without its line feed, bytes that are not UTF-8) is kept whole, for toml++ to report.
// For a document toml++ accepts, it builds the same tree from both texts.
[[nodiscard]] std::string without_comment_text(std::string_view text);

// To go between toml++'s positions and byte offsets. A lookup starts from the nearest checkpoint,
// one every STRIDE characters, so that it costs the same on a long line as on a short one and the
// index stays a fraction of the text's size, whatever its shape.
class LineIndex {
public:
    explicit LineIndex(std::string_view text);

    [[nodiscard]] std::size_t offset_of(const TextPosition& position) const;
    [[nodiscard]] TextPosition position_of(std::size_t offset) const;

private:
    static constexpr std::size_t STRIDE = 64;

    struct Checkpoint {
        std::size_t offset;
        std::uint32_t line;
        std::uint32_t column;
    };

    void step(Checkpoint& at) const;

    std::string_view text_;
    std::vector<Checkpoint> checkpoints_;
};

// The TOML 1.1 check of a parsed document: it is shown every key and every float that toml++
// read, where each starts, then names the first fault in the text.
class Toml11Check {
public:
    explicit Toml11Check(std::string_view text) : text_(text) {}

    // `name` as toml++ read it; a quoted key may hold anything.
    void check_key(const TextPosition& begin, std::string_view name);
    void check_float(const TextPosition& begin);

    // The fault that comes first in the text, among those of the keys and floats shown and the
    // non-ASCII characters met outside strings and comments.
    [[nodiscard]] std::optional<Fault> first_fault() const;

private:
    void offer(std::optional<Fault> fault);
    // Built at the first lookup: a document whose keys are all bare and that holds no float and no
    // fault never needs it.
    [[nodiscard]] const LineIndex& lines() const;

    std::string_view text_;
    mutable std::optional<LineIndex> lines_;
    std::optional<Fault> first_;
};

}  // namespace vantrel
