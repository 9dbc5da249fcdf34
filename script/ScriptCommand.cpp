#include "script/ScriptCommand.h"

#include "script/Commands.h"

#include <algorithm>

namespace abd {

ScriptCommandRegistry& ScriptCommandRegistry::Instance() {
    static ScriptCommandRegistry* registry = [] {
        auto* r = new ScriptCommandRegistry;
        RegisterStandardCommands(*r);
        return r;
    }();
    return *registry;
}

void ScriptCommandRegistry::AddCommand(CommandType type) {
    const std::size_t index = commands_.size();
    for (const QString& k : type.Keywords) {
        Keyword kw;
        kw.Upper = k.toUpper();
        // The upper-case letters at the start are mandatory; a keyword with no lower-case letter is whole.
        int mandatory = 0;
        while (mandatory < k.size() && !k[mandatory].isLower())
            ++mandatory;
        kw.Mandatory = mandatory;
        kw.Type = index;
        keywords_.push_back(kw);
    }
    commands_.push_back(std::move(type));
    std::stable_sort(keywords_.begin(), keywords_.end(),
                     [](const Keyword& a, const Keyword& b) { return a.Upper < b.Upper; });
}

LookupResult ScriptCommandRegistry::LookupCommand(const QString& word, const CommandType** type) const {
    LookupResult best = ucNone;
    const CommandType* found = nullptr;
    auto it = std::lower_bound(keywords_.begin(), keywords_.end(), word,
                               [](const Keyword& k, const QString& w) { return k.Upper < w; });
    for (; it != keywords_.end() && it->Upper.startsWith(word); ++it) {
        LookupResult r;
        if (it->Upper.size() == word.size())
            r = ucExact;
        else if (word.size() >= it->Mandatory)
            r = ucShort;
        else
            r = ucPartial;
        if (r > best) {
            best = r;
            found = &commands_[it->Type];
        }
    }
    if (type)
        *type = (best == ucShort || best == ucExact) ? found : nullptr;
    return best;
}

} // namespace abd
