#include "json_text.h"

#include <cstdio>

namespace zel::cassette::json {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr int kMaxDepth = 8;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    bool Parse(Value *pValue, std::string *pError) {
        SkipSpace();
        if (!ParseValue(*pValue, 0)) return Fail(pError);
        SkipSpace();
        if (pos_ != text_.size()) {
            error_ = "text after the object";
            return Fail(pError);
        }
        if (pValue->type != Value::Type::kObject) {
            error_ = "a line must be one object";
            return Fail(pError);
        }
        return true;
    }

private:
    bool Fail(std::string *pError) const {
        if (pError != nullptr) *pError = error_ + " (column " + std::to_string(pos_ + 1) + ")";
        return false;
    }
    bool Error(const char *message) {
        error_ = message;
        return false;
    }
    void SkipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r')) ++pos_;
    }
    bool Take(char c) {
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool TakeWord(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    bool ParseValue(Value &value, int depth) {
        SkipSpace();
        if (pos_ >= text_.size()) return Error("the line ends where a value should be");
        const char c = text_[pos_];
        if (c == '{') return depth < kMaxDepth ? ParseObjectBody(value, depth) : Error("nested too deeply");
        if (c == '[') return depth < kMaxDepth ? ParseArrayBody(value, depth) : Error("nested too deeply");
        if (c == '"') {
            value.type = Value::Type::kString;
            return ParseString(value.text);
        }
        if (c >= '0' && c <= '9') return ParseNumber(value);
        if (TakeWord("true") || TakeWord("false")) {
            value.type = Value::Type::kBool;
            value.flag = c == 't';
            return true;
        }
        return Error("not a value this format has");
    }

    bool ParseObjectBody(Value &value, int depth) {
        value.type = Value::Type::kObject;
        ++pos_;
        if (Take('}')) return true;
        do {
            SkipSpace();
            std::string name;
            if (pos_ >= text_.size() || text_[pos_] != '"') return Error("a member name must be a string");
            if (!ParseString(name)) return false;
            if (value.Find(name) != nullptr) return Error("a member appears twice");
            if (!Take(':')) return Error("':' expected after a member name");
            value.members.push_back(Member{std::move(name), Value{}});
            if (!ParseValue(value.members.back().value, depth + 1)) return false;
        } while (Take(','));
        return Take('}') ? true : Error("',' or '}' expected");
    }

    bool ParseArrayBody(Value &value, int depth) {
        value.type = Value::Type::kArray;
        ++pos_;
        if (Take(']')) return true;
        do {
            value.items.emplace_back();
            if (!ParseValue(value.items.back(), depth + 1)) return false;
        } while (Take(','));
        return Take(']') ? true : Error("',' or ']' expected");
    }

    bool ParseNumber(Value &value) {
        value.type = Value::Type::kNumber;
        std::uint64_t number = 0;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            const auto digit = static_cast<std::uint64_t>(text_[pos_] - '0');
            if (number > (UINT64_MAX - digit) / 10) return Error("a number beyond 64 bits");
            number = number * 10 + digit;
            ++pos_;
        }
        if (pos_ - start > 1 && text_[start] == '0') return Error("a number with a leading zero");
        if (pos_ < text_.size() && (text_[pos_] == '.' || text_[pos_] == 'e' || text_[pos_] == 'E'))
            return Error("only whole numbers are used");
        value.number = number;
        return true;
    }

    bool ParseString(std::string &out) {
        ++pos_;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return Error("a control character in a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) break;
            const char escape = text_[pos_++];
            switch (escape) {
                case '"':
                case '\\':
                case '/':
                    out += escape;
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 'u': {
                    unsigned code = 0;
                    for (int i = 0; i < 4; ++i) {
                        const int digit = pos_ < text_.size() ? HexValue(text_[pos_]) : -1;
                        if (digit < 0) return Error("a bad \\u escape");
                        code = code * 16 + static_cast<unsigned>(digit);
                        ++pos_;
                    }
                    // Names and texts here are ASCII; anything else stays escaped.
                    if (code < 0x80) {
                        out += static_cast<char>(code);
                    } else {
                        return Error("a \\u escape beyond ASCII");
                    }
                    break;
                }
                default:
                    return Error("an unknown escape in a string");
            }
        }
        return Error("a string that does not end");
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::string error_;
};

}  // namespace

void AppendString(std::string &out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
}

void AppendHexBytes(std::string &out, std::span<const std::uint8_t> bytes) {
    out += '"';
    for (const std::uint8_t byte : bytes) {
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 15];
    }
    out += '"';
}

void AppendWord(std::string &out, std::uint32_t value, bool decimal) {
    if (decimal) {
        out += std::to_string(value);
        return;
    }
    char text[16];
    std::snprintf(text, sizeof(text), "\"0x%08X\"", static_cast<unsigned>(value));
    out += text;
}

const Value *Value::Find(std::string_view name) const {
    for (const auto &member : members) {
        if (member.name == name) return &member.value;
    }
    return nullptr;
}

bool ParseObject(std::string_view line, Value *pValue, std::string *pError) {
    *pValue = Value{};
    return Parser(line).Parse(pValue, pError);
}

bool DecodeHex(std::string_view text, std::vector<std::uint8_t> *pBytes) {
    if (text.size() % 2 != 0) return false;
    pBytes->clear();
    pBytes->reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0) return false;
        pBytes->push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

}  // namespace zel::cassette::json
