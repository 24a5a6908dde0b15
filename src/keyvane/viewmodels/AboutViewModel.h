#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariantList>

#include <optional>
#include <string>

namespace keyvane::app {

// Which build runs: the program's version, its build number and its commit, each absent when
// the build did not know it.
struct BuildInfo {
    std::optional<std::string> appVersion;
    std::optional<std::string> buildNumber;
    std::optional<std::string> commitHash;
};

// Where help is found: the hosts of the three web pages, the documentation page's identifier
// and the support line as people read it ("+", blanks, parentheses and hyphens allowed).
struct AboutConfiguration {
    std::string documentationHost;
    std::string documentationPageId;
    std::string privacyPolicyHost;
    std::string userAgreementHost;
    std::string supportPhone;
};

// The sheet's external links, in the order of the sheet; phone is the call button's.
enum class LinkButton { instruction, privacyPolicy, licenseAgreement, phone };

QString linkTitle(LinkButton link, const AboutConfiguration& configuration);
QUrl linkUrl(LinkButton link, const AboutConfiguration& configuration);
// "tel:+" and the support line without "+", "-", "(", ")" and blanks.
QUrl telephoneUrl(const std::string& displayText);

// The version and the build number as "1.4.0(213)"; absent when either is.
std::optional<std::string> versionAndBuild(const BuildInfo& info);
// The footer's version line: the localised format with "version(build) commit".
QString versionLine(const BuildInfo& info);

// Hands a URL to the system (browser, telephony handler). The program's opener uses the
// desktop's services; tests record instead.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    virtual void open(const QUrl& url) = 0;
};

// The About sheet: which build runs and where to get help. It holds no state and sends no
// store action: its buttons close the sheet or hand a URL to the system.
class AboutViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString versionLine READ versionLine CONSTANT)
    Q_PROPERTY(QVariantList links READ links CONSTANT)
    Q_PROPERTY(QString supportPhone READ supportPhone CONSTANT)

public:
    AboutViewModel(BuildInfo build, AboutConfiguration configuration, UrlOpener& opener, QObject* parent = nullptr);

    QString versionLine() const { return app::versionLine(build_); }
    // The three link buttons in order (the call button is apart): label and identifier.
    QVariantList links() const;
    QString supportPhone() const { return QString::fromStdString(configuration_.supportPhone); }

    Q_INVOKABLE void openLink(int index);
    Q_INVOKABLE void call();
    Q_INVOKABLE void close() { emit closeRequested(); }

signals:
    void closeRequested();

private:
    BuildInfo build_;
    AboutConfiguration configuration_;
    UrlOpener& opener_;
};

} // namespace keyvane::app
