// Any text with any terminator, through the same command recognition as both passes of the runner.
#include "firebird/Failure.h"
#include "script/ScriptParser.h"
#include "script/ScriptRunner.h"

#include <QStringList>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    static const char* kTerminators[] = {"", ";", "^", "GO", "/", "$$", "term", "\xff"};
    abd::ScriptRunner runner;
    runner.Options.CommandSeparator = QString::fromLatin1(kTerminators[data[0] % 8]);
    runner.Options.EndOfLine = static_cast<abd::FileEndOfLine>(data[1] % 3);
    runner.Options.UpdateActualSeparator();
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
    abd::ScriptParser parser(text.split(QLatin1Char('\n')), runner.Options);
    // Every call must consume text or end it: the number of commands is bounded by the length.
    for (std::size_t guard = 0; guard <= size + 2; ++guard) {
        try {
            auto command = parser.ExtractCommand(runner);
            if (!command)
                return 0;
            command->Validate();
        } catch (const abd::Failure&) {
        }
    }
    __builtin_trap(); // more commands than characters: the parser stopped advancing
}
