#include "src/profiles/toml_syntax.hpp"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "src/util/unicode.hpp"

namespace vantrel {
namespace {

bool before(const TextPosition& a, const TextPosition& b) {
    return a.line < b.line || (a.line == b.line && a.column < b.column);
}

// The fault to report rather than `current`: the one that comes first in the text, or the one
// already kept at the same place.
bool comes_first(const Fault& fault, const std::optional<Fault>& current) {
    return !current || before(fault.where.begin, current->where.begin);
}

bool is_bare_key_byte(char c) { return is_ascii_alnum(c) || c == '_' || c == '-'; }

Fault bare_key_fault(const TextPosition& at, std::string_view character) {
    return {{at, at},
            "Error while parsing key: bare keys may only contain ASCII letters, ASCII digits, underscores "
            "and dashes, saw '" + std::string(character) + "'"};
}

// Past the string that opens at `pos`. In a document toml++ has not read yet the string may be
// left open: it then ends with its line (single-line) or with the text (multi-line).
std::size_t skip_string(std::string_view text, std::size_t pos) {
    const char quote = text[pos];
    const bool basic = quote == '"';
    const std::string_view triple = basic ? std::string_view("\"\"\"") : std::string_view("'''");
    const bool multi_line = text.substr(pos, 3) == triple;
    pos += multi_line ? 3 : 1;
    while (pos < text.size()) {
        const char c = text[pos];
        if (basic && c == '\\') {
            pos += 2;
        } else if (c == quote && (!multi_line || text.substr(pos, 3) == triple)) {
            // Up to two more quotes right before the closing ones belong to the string.
            std::size_t end = pos + 1;
            while (multi_line && end < text.size() && end < pos + 5 && text[end] == quote) ++end;
            return end;
        } else if (c == '\n' && !multi_line) {
            return pos;
        } else {
            ++pos;
        }
    }
    return pos;
}

// The first non-ASCII character outside strings and comments, as its bytes: toml++ accepts none
// there but the letters of a bare key.
std::optional<std::string_view> find_non_ascii_key(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '#') {
            pos = text.find('\n', pos);
            if (pos == std::string_view::npos) return std::nullopt;
        } else if (c == '"' || c == '\'') {
            pos = skip_string(text, pos);
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            std::size_t end = pos;
            if (!next_scalar(text, end)) end = pos + 1;
            return text.substr(pos, end - pos);
        } else {
            ++pos;
        }
    }
    return std::nullopt;
}

// What toml++ accepts inside a comment, one byte at a time: no control character but the tab.
// Bytes of non-ASCII characters are checked as UTF-8 sequences apart.
bool is_plain_comment_byte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return c == '\t' || (byte >= 0x20 && byte != 0x7F);
}

bool ends_bare_key(char c) {
    return c == '=' || c == '.' || c == '[' || c == ']' || c == '{' || c == '}' || c == ',' || c == '#' ||
           c == '"' || c == '\'' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Excess {
    std::size_t offset;
    std::string message;
};

// Follows TOML's structure (strings, comments, keys, values) without judging it: toml++ reports
// the syntax faults.
class LimitScan {
public:
    explicit LimitScan(std::string_view text) : text_(text) {}

    std::optional<Excess> first_excess() {
        while (pos_ < text_.size() && !excess_) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r') {
                ++pos_;
            } else if (c == '#') {
                pos_ = std::min(text_.find('\n', pos_), text_.size());
            } else if (c == '\n') {
                ++pos_;
                if (open_.empty()) expecting_key_ = true;
            } else if (expecting_key_ && open_.empty() && c == '[') {
                const bool array = text_.substr(pos_, 2) == "[[";
                pos_ += array ? 2 : 1;
                read_key(array ? 1 : 0, true);
                table_depth_ = key_depth_;
                expecting_key_ = false;
            } else if (c == ']' || c == '}') {
                ++pos_;
                if (!open_.empty()) open_.pop_back();
                expecting_key_ = false;
                value_depth_ = open_.empty() ? table_depth_ : open_.back().depth;
            } else if (c == ',') {
                ++pos_;
                expecting_key_ = !open_.empty() && open_.back().bracket == '{';
                if (!open_.empty()) value_depth_ = open_.back().depth;
            } else if (expecting_key_) {
                const bool read = read_key(open_.empty() ? table_depth_ : open_.back().depth, false);
                if (pos_ < text_.size() && text_[pos_] == '=') {
                    ++pos_;
                    expecting_key_ = false;
                    value_depth_ = key_depth_;
                } else if (!read) {
                    ++pos_;
                }
            } else if (c == '"' || c == '\'') {
                pos_ = skip_string(text_, pos_);
            } else if (c == '[' || c == '{') {
                const std::size_t depth = value_depth_ + 1;
                if (depth > MAX_NESTING) {
                    too_deep(pos_, c == '[' ? "array" : "inline table");
                    break;
                }
                open_.push_back({c, depth});
                value_depth_ = depth;
                expecting_key_ = c == '{';
                ++pos_;
            } else {
                ++pos_;
            }
        }
        return excess_;
    }

private:
    struct Open {
        char bracket;
        std::size_t depth;  // of what it holds
    };

    // Reads the parts of a key from `pos_`, each one level below `depth`, and counts the tables
    // they name; false when there was no key.
    bool read_key(std::size_t depth, bool header) {
        const std::string_view what = header ? "table header" : "key";
        key_depth_ = depth;
        std::optional<std::size_t> previous;  // where the part before this one started
        while (true) {
            while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
            const std::size_t start = pos_;
            if (start < text_.size() && (text_[start] == '"' || text_[start] == '\'')) {
                pos_ = skip_string(text_, pos_);
            } else {
                while (pos_ < text_.size() && !ends_bare_key(text_[pos_])) ++pos_;
                if (pos_ == start) return previous.has_value();
            }
            if (++key_depth_ > MAX_NESTING) {
                too_deep(start, what);
                return true;
            }
            // A key-value's part names a table once another part follows it.
            const std::optional<std::size_t> table = header ? std::optional(start) : previous;
            if (table && ++tables_ > MAX_TABLES) {
                excess_ = Excess{*table, "Error while parsing " + std::string(what) + ": more than " +
                                             std::to_string(MAX_TABLES) + " tables"};
                return true;
            }
            previous = start;
            while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
            if (pos_ >= text_.size() || text_[pos_] != '.') return true;
            ++pos_;
        }
    }

    void too_deep(std::size_t offset, std::string_view what) {
        excess_ = Excess{offset, "Error while parsing " + std::string(what) + ": nested deeper than " +
                                     std::to_string(MAX_NESTING) + " levels"};
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    bool expecting_key_ = true;
    std::size_t table_depth_ = 0;
    std::size_t key_depth_ = 0;
    std::size_t value_depth_ = 0;
    std::size_t tables_ = 0;
    std::vector<Open> open_;
    std::optional<Excess> excess_;
};

}  // namespace

std::optional<Fault> find_excess(std::string_view text) {
    std::optional<Excess> excess = LimitScan(text).first_excess();
    if (!excess) return std::nullopt;
    const TextPosition at = LineIndex(text).position_of(excess->offset);
    return Fault{{at, at}, std::move(excess->message)};
}

std::string without_comment_text(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    std::size_t copied = 0;  // where the part not yet copied into `kept` starts
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '"' || c == '\'') {
            pos = skip_string(text, pos);
            continue;
        }
        if (c != '#') {
            ++pos;
            continue;
        }
        const std::size_t comment_text = pos + 1;
        const std::size_t line_end = std::min(text.find('\n', comment_text), text.size());
        std::string_view comment = text.substr(comment_text, line_end - comment_text);
        // Before a line feed, a carriage return belongs to the line's end.
        if (line_end < text.size() && comment.ends_with('\r')) comment.remove_suffix(1);
        if (std::ranges::all_of(comment, is_plain_comment_byte) && is_valid_utf8(comment)) {
            kept.append(text.substr(copied, comment_text - copied));
            copied = comment_text + comment.size();
        }
        pos = line_end;
    }
    kept.append(text.substr(copied));
    return kept;
}

LineIndex::LineIndex(std::string_view text) : text_(text) {
    Checkpoint at{0, 1, 1};
    for (std::size_t character = 0; at.offset < text.size(); ++character) {
        if (character % STRIDE == 0) checkpoints_.push_back(at);
        step(at);
    }
    if (checkpoints_.empty()) checkpoints_.push_back(at);
}

std::size_t LineIndex::offset_of(const TextPosition& position) const {
    const auto next = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), position,
                                       [](const TextPosition& p, const Checkpoint& c) {
                                           return before(p, {c.line, c.column});
                                       });
    if (next == checkpoints_.begin()) return text_.size();
    Checkpoint at = *std::prev(next);
    while (at.offset < text_.size() && before({at.line, at.column}, position)) {
        if (text_[at.offset] == '\n' && at.line == position.line) break;
        step(at);
    }
    return at.offset;
}

TextPosition LineIndex::position_of(std::size_t offset) const {
    const auto next = std::upper_bound(checkpoints_.begin(), checkpoints_.end(), offset,
                                       [](std::size_t o, const Checkpoint& c) { return o < c.offset; });
    Checkpoint at = *std::prev(next);
    while (at.offset < offset && at.offset < text_.size()) step(at);
    return {at.line, at.column};
}

// Past one character: a scalar value, or one byte of an ill-formed sequence.
void LineIndex::step(Checkpoint& at) const {
    const char c = text_[at.offset];
    const std::size_t start = at.offset;
    if (static_cast<unsigned char>(c) < 0x80 || !next_scalar(text_, at.offset)) at.offset = start + 1;
    if (c == '\n') {
        ++at.line;
        at.column = 1;
    } else {
        ++at.column;
    }
}

void Toml11Check::check_key(const TextPosition& begin, std::string_view name) {
    // A name that a bare key may hold is right written either way; only for another one does it
    // matter whether it was quoted.
    if (std::ranges::all_of(name, is_bare_key_byte)) return;
    const std::size_t offset = lines().offset_of(begin);
    if (offset < text_.size() && (text_[offset] == '"' || text_[offset] == '\'')) return;
    std::size_t pos = 0;
    std::uint32_t column = begin.column;
    while (pos < name.size()) {
        const std::size_t start = pos;
        if (!next_scalar(name, pos)) pos = start + 1;
        if (pos - start != 1 || !is_bare_key_byte(name[start])) {
            offer(bare_key_fault({begin.line, column}, name.substr(start, pos - start)));
            return;
        }
        ++column;
    }
}

void Toml11Check::check_float(const TextPosition& begin) {
    std::size_t offset = lines().offset_of(begin);
    if (offset < text_.size() && (text_[offset] == '+' || text_[offset] == '-')) ++offset;
    const std::string_view digits = text_.substr(std::min(offset, text_.size()));
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        offer(Fault{{begin, begin},
                    "Error while parsing floating-point: hexadecimal floating-point values are not "
                    "supported in TOML"});
    }
}

std::optional<Fault> Toml11Check::first_fault() const {
    // A key's own check says more than the scan does, so it wins at the same position.
    if (const std::optional<std::string_view> character = find_non_ascii_key(text_)) {
        const auto offset = static_cast<std::size_t>(character->data() - text_.data());
        Fault scanned = bare_key_fault(lines().position_of(offset), *character);
        if (comes_first(scanned, first_)) return scanned;
    }
    return first_;
}

void Toml11Check::offer(std::optional<Fault> fault) {
    if (fault && comes_first(*fault, first_)) first_ = std::move(fault);
}

const LineIndex& Toml11Check::lines() const {
    if (!lines_) lines_.emplace(text_);
    return *lines_;
}

}  // namespace vantrel
