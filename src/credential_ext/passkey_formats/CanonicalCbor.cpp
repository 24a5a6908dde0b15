#include "credential_ext/passkey_formats/CanonicalCbor.h"

#include <QByteArray>
#include <QCborValue>

#include <algorithm>
#include <utility>
#include <vector>

namespace keyvane {

namespace {

Bytes bytesOf(const QByteArray& data) { return {data.begin(), data.end()}; }

bool lengthFirst(const Bytes& left, const Bytes& right) {
    if (left.size() != right.size()) {
        return left.size() < right.size();
    }
    return left < right; // std::uint8_t compares unsigned
}

} // namespace

Bytes encodeCanonicalMap(const QCborMap& map) {
    std::vector<std::pair<Bytes, Bytes>> pairs;
    pairs.reserve(static_cast<std::size_t>(map.size()));
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        pairs.emplace_back(bytesOf(it.key().toCbor()), bytesOf(it.value().toCbor()));
    }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const auto& left, const auto& right) { return lengthFirst(left.first, right.first); });

    // The map head is the unsigned-integer head of the pair count with the major type set to 5.
    Bytes out = bytesOf(QCborValue(static_cast<qint64>(pairs.size())).toCbor());
    out[0] = static_cast<std::uint8_t>(out[0] | 0xA0);
    for (const auto& [key, value] : pairs) {
        out.insert(out.end(), key.begin(), key.end());
        out.insert(out.end(), value.begin(), value.end());
    }
    return out;
}

} // namespace keyvane
