#include "line_settings.h"

#include <cctype>
#include <charconv>
#include <stdexcept>
#include <vector>

namespace potpanel {
namespace {

std::vector<std::string_view> splitFields(std::string_view text)
{
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos)
            return fields;
        start = comma + 1;
    }
}

// A whole field of decimal digits, nothing else (from_chars alone would accept "96x").
bool parseNumber(std::string_view field, std::int32_t& number)
{
    const char* end = field.data() + field.size();
    const auto [rest, error] = std::from_chars(field.data(), end, number);
    return !field.empty() && field.front() != '-' && error == std::errc() && rest == end;
}

// Parity letters in the order of the Parity enumerators.
constexpr std::string_view parityLetters = "NEOMS";

bool parseParity(std::string_view field, Parity& parity)
{
    const auto letter = field.size() == 1 ? parityLetters.find(static_cast<char>(
                                                std::toupper(static_cast<unsigned char>(field[0]))))
                                          : std::string_view::npos;
    if (letter == std::string_view::npos)
        return false;
    parity = static_cast<Parity>(letter);
    return true;
}

bool parseStopBits(std::string_view field, StopBits& stopBits)
{
    if (field == "1")
        stopBits = StopBits::One;
    else if (field == "1.5")
        stopBits = StopBits::OneAndHalf;
    else if (field == "2")
        stopBits = StopBits::Two;
    else
        return false;
    return true;
}

} // namespace

LineSettings parseLineSettings(std::string_view text)
{
    const auto refuse = [text](const std::string& why) {
        return std::invalid_argument("line settings \"" + std::string(text) + "\" are malformed: " +
                                     why + " (expected speed,parity,data,stop such as 9600,N,8,1)");
    };
    const std::vector<std::string_view> fields = splitFields(text);
    if (fields.size() != 4)
        throw refuse("they need four comma-separated fields");

    LineSettings settings;
    if (!parseNumber(fields[0], settings.baudRate) || settings.baudRate == 0)
        throw refuse("the speed must be a positive whole number");
    if (!parseParity(fields[1], settings.parity))
        throw refuse("the parity must be N, E, O, M or S");
    std::int32_t dataBits = 0;
    if (!parseNumber(fields[2], dataBits) || dataBits < 5 || dataBits > 8)
        throw refuse("the data bits must be 5, 6, 7 or 8");
    settings.dataBits = dataBits;
    if (!parseStopBits(fields[3], settings.stopBits))
        throw refuse("the stop bits must be 1, 1.5 or 2");
    return settings;
}

std::string toString(const LineSettings& settings)
{
    static constexpr const char* stopBitsText[] = {"1", "1.5", "2"};
    return std::to_string(settings.baudRate) + ',' +
           parityLetters[static_cast<int>(settings.parity)] + ',' +
           std::to_string(settings.dataBits) + ',' +
           stopBitsText[static_cast<int>(settings.stopBits)];
}

long characterMicroseconds(const LineSettings& settings)
{
    const int bits = 1 + settings.dataBits + (settings.parity != Parity::None ? 1 : 0) +
                     (settings.stopBits == StopBits::One ? 1 : 2);
    return 1'000'000L * bits / settings.baudRate + 1;
}

} // namespace potpanel
