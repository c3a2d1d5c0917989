#pragma once
// The value of one hexadecimal digit, either case; -1 for any other character. For the text
// forms of frames that other tools write (candump logs, socketcand), where case is not ours to set.

constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}
