// Status-vector classification and object-name extraction on arbitrary words and lines.
#include "firebird/Errors.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::size_t wordCount = std::min<std::size_t>(data[0] % 24, (size - 1) / 4);
    abd::StatusWords words;
    // Words drawn near the codes the classification compares with, so that its branches are reached.
    static const std::intptr_t kBase[] = {0, 1, 2, 3, 4, 18, 335544351, 335544569, 335544665, 335544382,
                                          336068755, 335544436, 335544580, 335544517, 335544472, 336397206};
    for (std::size_t i = 0; i < wordCount; ++i) {
        std::uint32_t raw;
        std::memcpy(&raw, data + 1 + 4 * i, 4);
        words.push_back(kBase[raw % 16] + static_cast<std::intptr_t>((raw >> 8) % 3));
    }
    const char* rest = reinterpret_cast<const char*>(data + 1 + 4 * wordCount);
    const QStringList texts = QString::fromUtf8(rest, static_cast<qsizetype>(size - 1 - 4 * wordCount)).split('|');
    std::vector<abd::InterpretedLine> lines;
    for (qsizetype i = 0; i < texts.size(); ++i)
        lines.push_back({static_cast<int>(i * 2), texts[i]});
    abd::Classification c = abd::ClassifyStatus(words);
    abd::ErrorKind kind = c.Kind;
    const QString name = abd::ExtractObjectName(words, lines, kind, (size & 1) != 0);
    (void)abd::IsWarningVector(words);
    (void)abd::WithFullStop(name);
    return 0;
}
