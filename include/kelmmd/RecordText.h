// Texts of the library's records: fixed-size character arrays, NUL-padded,
// cut to their width without notice.
#ifndef KELMMD_RECORDTEXT_H
#define KELMMD_RECORDTEXT_H

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

namespace kelmmd
{

/// The text of a field, up to its first NUL (or all of it, without one).
template <std::size_t N>
std::string TextOf(const char (&field)[N])
{
    return std::string(field, std::find(field, field + N, '\0'));
}

/// Copies at most N - 1 characters of text into the field and ends it with
/// a NUL; what follows is left as it was (records are zeroed first).
template <std::size_t N>
void CopyText(char (&field)[N], const std::string& text)
{
    const std::size_t length = (std::min)(text.size(), N - 1);
    std::memcpy(field, text.data(), length);
    field[length] = '\0';
}

}  // namespace kelmmd

#endif
