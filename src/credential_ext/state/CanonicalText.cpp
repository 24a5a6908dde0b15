#include "credential_ext/state/CanonicalText.h"

#include <QString>

namespace keyvane::ext {

std::string canonicalText(std::string_view utf8) {
    const auto text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return text.normalized(QString::NormalizationForm_C).toStdString();
}

bool canonicallyEqual(std::string_view left, std::string_view right) {
    return left == right || canonicalText(left) == canonicalText(right);
}

} // namespace keyvane::ext
