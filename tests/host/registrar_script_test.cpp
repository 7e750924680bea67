// The icon server's registrar script interpreter: what it carries out, what it
// refuses, and that a refusal never passes for success.
#include <gtest/gtest.h>

#include <string_view>

#include "registrar_script.h"

using iconserver::RunRegistrarScript;
using iconserver::ScriptReplacement;
using iconserver::ScriptStatus;

namespace {

constexpr ScriptReplacement kAppId[] = {{"APPID", "{A3E61F08-52D7-4C9B-8E14-3F7B90D25C6A}"}};

struct ScriptCase {
    const char* what;
    std::string_view text;
    ScriptStatus status;
    size_t rootBlocks;  // checked when Ok
};

using namespace std::string_view_literals;

const ScriptCase kCases[] = {
    {"the server's own script", "HKCR\r\n{\r\n}\r\n", ScriptStatus::Ok, 1},
    {"empty text", "", ScriptStatus::Ok, 0},
    {"white space only", " \t\r\n", ScriptStatus::Ok, 0},
    {"root keys in any case, long forms", "hkcr { } HKEY_LOCAL_MACHINE { } HkCu { } HKU { } hkey_current_config { }",
     ScriptStatus::Ok, 5},
    {"terminating zero and zero padding", "HKCR\r\n{\r\n}\r\n\0\0"sv, ScriptStatus::Ok, 1},
    {"unknown root key", "HKXX { }", ScriptStatus::Malformed, 0},
    {"root key glued to its brace", "HKCR{ }", ScriptStatus::Malformed, 0},
    {"missing open brace", "HKCR }", ScriptStatus::Malformed, 0},
    {"missing close brace", "HKCR {", ScriptStatus::Malformed, 0},
    {"stray close brace", "HKCR { } }", ScriptStatus::Malformed, 0},
    {"brace without a key name", "HKCR { { } }", ScriptStatus::Malformed, 0},
    {"text after the terminating zero", "HKCR { }\0HKLM { Key }"sv, ScriptStatus::Malformed, 0},
    {"unknown replacement", "HKCR { %MODULE% }", ScriptStatus::Malformed, 0},
    {"unterminated replacement", "HKCR { %APPID }", ScriptStatus::Malformed, 0},
    {"unterminated quoted string", "HKCR { 'AppID }", ScriptStatus::Malformed, 0},
    {"a key", "HKCR\r\n{\r\n  NoRemove AppID\r\n  {\r\n  }\r\n}\r\n", ScriptStatus::Unsupported, 0},
    {"a value", "HKCR { val Name = s 'text' }", ScriptStatus::Unsupported, 0},
    {"a key named by a replacement", "HKCR { AppID { %APPID% = s 'VexmarIcon1' } }", ScriptStatus::Unsupported, 0},
    {"a quoted key with an escaped quote", "HKCR { 'it''s' }", ScriptStatus::Unsupported, 0},
    {"a key in a later root block", "HKCR { } HKLM { Software }", ScriptStatus::Unsupported, 0},
    {"a key, then broken structure", "HKCR { Key { }", ScriptStatus::Malformed, 0},
};

TEST(RegistrarScript, AcceptsEmptyRootBlocksAndRefusesEverythingElse)
{
    for (const ScriptCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const auto outcome = RunRegistrarScript(c.text, kAppId, 1);
        EXPECT_EQ(outcome.status, c.status);
        if (c.status == ScriptStatus::Ok) {
            EXPECT_EQ(outcome.rootBlocks, c.rootBlocks);
        }
    }
}

TEST(RegistrarScript, ReplacementsAreMadeBeforeTheTextIsRead)
{
    // A replacement may stand for a whole root key, in any case of its name.
    constexpr ScriptReplacement root[] = {{"Root", "HKCR"}};
    EXPECT_EQ(RunRegistrarScript("%ROOT% { }", root, 1).status, ScriptStatus::Ok);
    // "%%" is a literal percent sign, which is no root key.
    EXPECT_EQ(RunRegistrarScript("%%HKCR { }", root, 1).status, ScriptStatus::Malformed);
    // The replacement of the server's AppID is not a root key either.
    EXPECT_EQ(RunRegistrarScript("%APPID% { }", kAppId, 1).status, ScriptStatus::Malformed);
    // Without a replacement table every name is unknown.
    EXPECT_EQ(RunRegistrarScript("HKCR { } %APPID%", nullptr, 0).status, ScriptStatus::Malformed);
}

}  // namespace
