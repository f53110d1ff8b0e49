// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitnames.h"

namespace wimgapi {

namespace {

// Where the number goes: the last dot of the file name, or its end.
size_t numberAt(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return dot != std::string::npos && dot > nameStart ? dot : path.size();
}

} // namespace

std::string SplitPartPath(const std::string& firstPart, unsigned part)
{
    if (part <= 1)
        return firstPart;
    const size_t at = numberAt(firstPart);
    return firstPart.substr(0, at) + std::to_string(part) + firstPart.substr(at);
}

std::string FirstSplitPartPath(const std::string& partPath, unsigned part)
{
    if (part <= 1)
        return partPath;
    const size_t at = numberAt(partPath);
    const std::string digits = std::to_string(part);
    const size_t slash = partPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    if (at < nameStart + digits.size() + 1 || partPath.compare(at - digits.size(), digits.size(), digits) != 0)
        return {};
    return partPath.substr(0, at - digits.size()) + partPath.substr(at);
}

} // namespace wimgapi
