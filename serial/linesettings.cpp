#include "linesettings.h"

std::optional<LineSettings> parseLineSettings(const QString &, const QString &)
{
    return std::nullopt; // stub
}
