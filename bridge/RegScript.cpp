#include "RegScript.h"

#include <cctype>
#include <utility>

namespace {

struct Token {
    std::string text;
    bool quoted = false;
    int line = 0;
};

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Splits the script into tokens, one at a time, replacing %NAME% in each.
class Lexer {
public:
    Lexer(std::string_view text, const RegReplacements& replacements)
        : text_(text), replacements_(replacements) {}

    // The next token, or nothing at the end of the script.
    std::optional<Token> next() {
        skipSpace();
        if (pos_ == text_.size())
            return std::nullopt;
        Token token;
        token.line = line_;
        if (text_[pos_] == '\'') {
            token.quoted = true;
            token.text = readQuoted();
        } else {
            while (pos_ < text_.size() && !IsSpace(text_[pos_]))
                token.text += text_[pos_++];
        }
        token.text = replace(token.text, token.line);
        return token;
    }

    int line() const noexcept { return line_; }

private:
    void skipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) {
            if (text_[pos_] == '\n')
                ++line_;
            ++pos_;
        }
    }

    std::string readQuoted() {
        const int startLine = line_;
        std::string out;
        for (++pos_; pos_ < text_.size(); ++pos_) {
            const char c = text_[pos_];
            if (c == '\'') {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
                    out += '\'';
                    ++pos_;
                    continue;
                }
                ++pos_;
                return out;
            }
            if (c == '\n')
                ++line_;
            out += c;
        }
        throw RegScriptError(startLine, "unterminated quoted text");
    }

    std::string replace(const std::string& raw, int line) const {
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                out += raw[i];
                continue;
            }
            const std::size_t end = raw.find('%', i + 1);
            if (end == std::string::npos)
                throw RegScriptError(line, "unmatched '%' in '" + raw + "'");
            const std::string name = raw.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out += '%';
            } else {
                const auto it = replacements_.find(name);
                if (it == replacements_.end())
                    throw RegScriptError(line, "no replacement for %" + name + "%");
                out += it->second;
            }
            i = end;
        }
        return out;
    }

    std::string_view text_;
    const RegReplacements& replacements_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

// Recursive descent over the token stream, with one token of look-ahead.
class Parser {
public:
    Parser(std::string_view text, const RegReplacements& replacements)
        : lexer_(text, replacements) {
        advance();
    }

    std::vector<RegKey> script() {
        std::vector<RegKey> roots;
        while (current_) {
            RegKey root;
            root.name = takeName("root key");
            expectOpen();
            body(root);
            roots.push_back(std::move(root));
        }
        return roots;
    }

private:
    void advance() { current_ = lexer_.next(); }

    int line() const { return current_ ? current_->line : lexer_.line(); }

    bool isSymbol(std::string_view symbol) const {
        return current_ && !current_->quoted && current_->text == symbol;
    }

    bool isKeyword(std::string_view keyword) const {
        return current_ && !current_->quoted && EqualsNoCase(current_->text, keyword);
    }

    [[noreturn]] void fail(const std::string& what) const {
        throw RegScriptError(line(), what + (current_ ? " at '" + current_->text + "'"
                                                      : " at the end of the script"));
    }

    std::string takeName(const char* what) {
        if (!current_ || isSymbol("{") || isSymbol("}") || isSymbol("="))
            fail(std::string("expected ") + what);
        std::string name = std::move(current_->text);
        advance();
        return name;
    }

    void expectOpen() {
        if (!isSymbol("{"))
            fail("expected '{'");
        advance();
    }

    // "= s DATA"; the '=' is current.
    std::string stringData() {
        advance();
        if (!isKeyword("s"))
            fail("expected string type 's'");
        advance();
        if (!current_ || (!current_->quoted && (isSymbol("{") || isSymbol("}"))))
            fail("expected string data");
        std::string data = std::move(current_->text);
        advance();
        return data;
    }

    // Items up to and including the closing brace.
    void body(RegKey& parent) {
        while (!isSymbol("}")) {
            if (!current_)
                fail("expected '}'");
            if (isKeyword("val"))
                namedValue(parent);
            else
                parent.subkeys.push_back(key());
        }
        advance();
    }

    void namedValue(RegKey& parent) {
        advance();
        RegNamedValue value;
        value.name = takeName("value name");
        if (!isSymbol("="))
            fail("expected '='");
        value.data = stringData();
        parent.values.push_back(std::move(value));
    }

    RegKey key() {
        RegKey key;
        if (isKeyword("NoRemove")) {
            key.rule = RemoveRule::NoRemove;
            advance();
        } else if (isKeyword("ForceRemove")) {
            key.rule = RemoveRule::ForceRemove;
            advance();
        }
        key.name = takeName("key name");
        if (isSymbol("="))
            key.defaultValue = stringData();
        if (isSymbol("{")) {
            advance();
            body(key);
        }
        return key;
    }

    Lexer lexer_;
    std::optional<Token> current_;
};

}  // namespace

RegScriptError::RegScriptError(int line, const std::string& what)
    : std::runtime_error("line " + std::to_string(line) + ": " + what), line_(line) {}

std::vector<RegKey> ParseRegScript(std::string_view text, const RegReplacements& replacements) {
    return Parser(text, replacements).script();
}
