#include "codes.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace Codes {

namespace {

// Hiltgen, Paterson and Brandestini's 9-sensor code of 360 positions, sensors every 40 degrees:
// 360 distinct words, one sensor changing per step, the wrap-around included (the tests
// repeat that check).
const char *const nineByThreeSixty
    = "00110000000000000000001111110011111110000001111100000001111100011111111001110000000000011110"
      "01110011111100000111111000000000000000111100011111111111111111000000000000000000111111111000"
      "01100000000000000000000000000000000111111111111111111100011111000000000000000000000000001111"
      "111000000111100000000000000000111111111111111111111111111111111111111111111111111111";

SingleTrack makeNineByThreeSixty()
{
    SingleTrack code;
    code.name = QStringLiteral("Hiltgen-Paterson-Brandestini 9 x 360");
    for (const char *c = nineByThreeSixty; *c; ++c)
        code.cells.push_back(*c == '1');
    for (int j = 0; j < 9; ++j)
        code.sensorOffset.push_back(40 * j);
    return code;
}

// k marks and k gaps read by k sensors one cell apart: the words of a Johnson counter, 2k of
// them, each differing from the next in one sensor.
SingleTrack makeJohnson(int k)
{
    SingleTrack code;
    code.name = QStringLiteral("%1 sensors one cell apart on %1 marks and %1 gaps").arg(k);
    for (int i = 0; i < 2 * k; ++i)
        code.cells.push_back(i < k);
    for (int j = 0; j < k; ++j)
        code.sensorOffset.push_back(j);
    return code;
}

constexpr int largestJohnson = 16;

}

int positions(const EncoderSettings &settings)
{
    if (settings.type != EncoderType::Absolute)
        return 0;
    if (settings.positions > 0)
        return settings.positions;
    return 1 << std::clamp(settings.count, 0, 16);
}

int wordBits(const EncoderSettings &settings)
{
    if (settings.singleTrack) {
        const SingleTrack *code = singleTrack(positions(settings));
        return code ? int(code->sensorOffset.size()) : 0;
    }
    if (settings.positions <= 0)
        return std::clamp(settings.count, 0, 16);
    int bits = 1;
    while ((1 << bits) < settings.positions)
        ++bits;
    return bits;
}

bool isGray(const EncoderSettings &settings)
{
    return settings.singleTrack
        || (settings.grayCode && (settings.shape == Shape::Disc || settings.grayOnStrip));
}

bool oddGrayRound(const EncoderSettings &settings)
{
    return settings.type == EncoderType::Absolute && settings.shape == Shape::Disc
        && isGray(settings) && !settings.singleTrack && positions(settings) % 2 != 0;
}

const SingleTrack *singleTrack(int positions)
{
    static std::mutex mutex;
    static std::map<int, SingleTrack> library;
    const std::lock_guard<std::mutex> lock(mutex);
    if (library.empty()) {
        library[360] = makeNineByThreeSixty();
        for (int k = 2; k <= largestJohnson; ++k)
            library[2 * k] = makeJohnson(k);
    }
    const auto it = library.find(positions);
    return it == library.end() ? nullptr : &it->second;
}

QString singleTrackCounts()
{
    return QStringLiteral("360, or an even count from 4 to %1").arg(2 * largestJohnson);
}

}

unsigned codeWord(const EncoderSettings &settings, int step)
{
    const int n = Codes::positions(settings);
    if (settings.singleTrack) {
        const Codes::SingleTrack *code = Codes::singleTrack(n);
        if (!code)
            return 0;
        unsigned word = 0;
        const int cells = int(code->cells.size());
        const int sensors = int(code->sensorOffset.size());
        for (int j = 0; j < sensors; ++j) {
            const int bit = settings.bitOrder == BitOrder::LsbToMsb ? j : sensors - 1 - j;
            word |= unsigned(code->cells[size_t((step + code->sensorOffset[size_t(j)]) % cells)])
                << bit;
        }
        return word;
    }
    const unsigned q = unsigned(step);
    if (!Codes::isGray(settings))
        return q;
    // The n codes of the reflected Gray code that lie symmetrically around its middle: the
    // first and the last differ only in the top bit, so an even count is cyclic.
    const unsigned offset = ((1u << Codes::wordBits(settings)) - unsigned(n)) / 2;
    const unsigned i = q + offset;
    return i ^ (i >> 1);
}
