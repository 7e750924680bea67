// The registrar script interpreter of the icon server: reads the text of a
// REGISTRY resource (the registrar's script format: root keys, braces, key and
// value statements, %NAME% replacements) and checks it. It carries out only
// what the server's own script needs: root-key blocks with nothing inside,
// which register and unregister nothing. Anything else, well formed or not,
// is refused rather than silently skipped, so a script that would write keys
// can never be mistaken for one that ran.
#pragma once

#include <cstddef>
#include <string_view>

namespace iconserver {

enum class ScriptStatus {
    Ok,           // every statement understood and carried out
    Malformed,    // not a script: unknown root key, unbalanced braces, bad replacement
    Unsupported,  // well formed, but names a key or value this interpreter does not write
};

// One %NAME% replacement (names compare case-insensitively, as the registrar's do).
struct ScriptReplacement {
    std::string_view name;
    std::string_view value;
};

struct ScriptOutcome {
    ScriptStatus status;
    size_t rootBlocks;  // root-key blocks found (all of them empty when Ok)
};

// Runs `script`. Register and unregister mode read the same grammar, and with
// empty root blocks neither writes anything, so one routine serves both. The
// text ends at its size or at a zero byte, after which only zero bytes may
// follow. Replacements are made in the whole text before it is read, as the
// registrar does; "%%" stands for one percent sign.
ScriptOutcome RunRegistrarScript(std::string_view script, const ScriptReplacement* replacements,
                                 size_t replacementCount);

}  // namespace iconserver
