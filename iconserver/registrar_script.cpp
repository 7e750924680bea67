#include "registrar_script.h"

#include <string>

namespace iconserver {
namespace {

// The root keys a script may open, short and long forms.
constexpr std::string_view kRootKeys[] = {
    "HKCR", "HKEY_CLASSES_ROOT", "HKCU", "HKEY_CURRENT_USER", "HKLM", "HKEY_LOCAL_MACHINE",
    "HKU",  "HKEY_USERS",        "HKCC", "HKEY_CURRENT_CONFIG",
};

constexpr char kQuote = '\'';
constexpr char kReplacementMark = '%';

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsRootKey(std::string_view token)
{
    for (std::string_view root : kRootKeys) {
        if (EqualsNoCase(token, root)) return true;
    }
    return false;
}

// Cuts the text at its terminating zero; false when anything but zeros follows it.
bool TrimAtTerminator(std::string_view& text)
{
    const size_t end = text.find('\0');
    if (end == std::string_view::npos) return true;
    if (text.find_first_not_of('\0', end) != std::string_view::npos) return false;
    text = text.substr(0, end);
    return true;
}

bool Expand(std::string_view text, const ScriptReplacement* replacements, size_t count, std::string& out)
{
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != kReplacementMark) {
            out += text[i];
            continue;
        }
        const size_t close = text.find(kReplacementMark, i + 1);
        if (close == std::string_view::npos) return false;
        const std::string_view name = text.substr(i + 1, close - i - 1);
        if (name.empty()) {
            out += kReplacementMark;
        } else {
            const ScriptReplacement* found = nullptr;
            for (size_t r = 0; r < count && !found; ++r) {
                if (EqualsNoCase(replacements[r].name, name)) found = &replacements[r];
            }
            if (!found) return false;
            out += found->value;
        }
        i = close;
    }
    return true;
}

enum class TokenKind { End, Word, Quoted, Open, Close, Bad };

struct Token {
    TokenKind kind;
    std::string_view text;
};

// Tokens are separated by white space only, as in the registrar: "HKCR{" is
// one word, not a root key and a brace.
class Tokenizer {
public:
    explicit Tokenizer(std::string_view text) : m_text(text) {}

    Token Next()
    {
        while (m_pos < m_text.size() && IsSpace(m_text[m_pos])) ++m_pos;
        if (m_pos >= m_text.size()) return {TokenKind::End, {}};
        const size_t start = m_pos;
        if (m_text[m_pos] == kQuote) {
            // '' inside a quoted string is one quote.
            for (++m_pos; m_pos < m_text.size(); ++m_pos) {
                if (m_text[m_pos] != kQuote) continue;
                if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == kQuote) {
                    ++m_pos;
                    continue;
                }
                ++m_pos;
                return {TokenKind::Quoted, m_text.substr(start, m_pos - start)};
            }
            return {TokenKind::Bad, m_text.substr(start)};
        }
        while (m_pos < m_text.size() && !IsSpace(m_text[m_pos])) ++m_pos;
        const std::string_view word = m_text.substr(start, m_pos - start);
        if (word == "{") return {TokenKind::Open, word};
        if (word == "}") return {TokenKind::Close, word};
        return {TokenKind::Word, word};
    }

private:
    std::string_view m_text;
    size_t m_pos = 0;
};

}  // namespace

ScriptOutcome RunRegistrarScript(std::string_view script, const ScriptReplacement* replacements,
                                 size_t replacementCount)
{
    ScriptOutcome outcome{ScriptStatus::Malformed, 0};
    if (!TrimAtTerminator(script)) return outcome;
    std::string text;
    if (!Expand(script, replacements, replacementCount, text)) return outcome;

    // The structure is checked to the end before statements are refused, so a
    // broken script is reported as broken even when it also names keys.
    bool statements = false;
    Tokenizer tokens(text);
    for (Token root = tokens.Next(); root.kind != TokenKind::End; root = tokens.Next()) {
        if (root.kind != TokenKind::Word || !IsRootKey(root.text)) return outcome;
        if (tokens.Next().kind != TokenKind::Open) return outcome;
        size_t depth = 1;
        bool afterStatementWord = false;  // a nested block must follow a key name
        while (depth > 0) {
            const Token t = tokens.Next();
            switch (t.kind) {
            case TokenKind::End:
            case TokenKind::Bad:
                return outcome;
            case TokenKind::Open:
                if (!afterStatementWord) return outcome;
                ++depth;
                afterStatementWord = false;
                break;
            case TokenKind::Close:
                --depth;
                afterStatementWord = false;
                break;
            case TokenKind::Word:
            case TokenKind::Quoted:
                statements = true;
                afterStatementWord = true;
                break;
            }
        }
        ++outcome.rootBlocks;
    }
    outcome.status = statements ? ScriptStatus::Unsupported : ScriptStatus::Ok;
    return outcome;
}

}  // namespace iconserver
