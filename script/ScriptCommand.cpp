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
        if (!kw.Upper.isEmpty() && kw.Upper[0].unicode() < 128) {
            firstChars_[kw.Upper[0].unicode()] = true;
            byFirstChar_[kw.Upper[0].unicode()].push_back(keywords_.size());
        }
        keywords_.push_back(kw);
    }
    commands_.push_back(std::move(type));
}

LookupResult ScriptCommandRegistry::LookupCommand(const QString& word, const CommandType** type) const {
    LookupResult best = ucNone;
    const CommandType* found = nullptr;
    if (!word.isEmpty() && word[0].unicode() < 128) {
        for (std::size_t index : byFirstChar_[word[0].unicode()]) {
            const Keyword& k = keywords_[index];
            if (k.Upper.size() < word.size() || !QStringView(k.Upper).startsWith(word))
                continue;
            LookupResult r;
            if (k.Upper.size() == word.size())
                r = ucExact;
            else if (word.size() >= k.Mandatory)
                r = ucShort;
            else
                r = ucPartial;
            if (r > best) {
                best = r;
                found = &commands_[k.Type];
            }
        }
    }
    if (type)
        *type = (best == ucShort || best == ucExact) ? found : nullptr;
    return best;
}

} // namespace abd
