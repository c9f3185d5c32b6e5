#include "directory/country_names.h"

#include <QLocale>
#include <QString>
#include <unordered_map>
#include <unordered_set>

#include "platform/qt_strings.h"
#include "platform/text.h"

namespace qova::directory {
namespace {

using platform::toQString;
using platform::toStdString;
using platform::trimmed;

// What Qt's locale data knows of countries and languages, read once. Names are looked up
// lower-cased as platform::lowerCase has them, the same function on both sides.
struct LocaleNames {
    std::unordered_map<std::string, std::string> countries;  // English name -> English name
    // English name, or a country's name in one of its own languages -> ISO 3166 code. A name
    // that two countries' languages give to different countries names neither.
    std::unordered_map<std::string, std::string> countryCodes;
    std::unordered_map<std::string, std::string> languages;  // name -> ISO 639-1, upper case
    std::unordered_set<std::string> languageCodes;           // ISO 639-1, upper case

    static const LocaleNames& get() {
        static const LocaleNames names;
        return names;
    }

  private:
    static std::string key(const QString& name) { return platform::lowerCase(toStdString(name)); }

    LocaleNames() {
        for (int t = 1; t <= static_cast<int>(QLocale::LastTerritory); ++t) {
            const auto territory = static_cast<QLocale::Territory>(t);
            const QString name = QLocale::territoryToString(territory);
            const QString code = QLocale::territoryToCode(territory);
            if (name.isEmpty())
                continue;
            countries.emplace(key(name), toStdString(name));
            // Regions such as the world or Europe have numeric codes no list gives a country.
            if (code.size() == 2)
                countryCodes.emplace(key(name), toStdString(code));
        }
        std::unordered_set<std::string> ambiguous;
        for (const QLocale& locale : QLocale::matchingLocales(
                 QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
            const QString code = QLocale::territoryToCode(locale.territory());
            const std::string native = key(locale.nativeTerritoryName());
            if (code.size() != 2 || native.empty() || ambiguous.count(native) != 0)
                continue;
            const auto [known, added] = countryCodes.emplace(native, toStdString(code));
            if (!added && known->second != toStdString(code) && !countries.count(native)) {
                countryCodes.erase(known);
                ambiguous.insert(native);
            }
        }
        for (int l = 2; l <= static_cast<int>(QLocale::LastLanguage); ++l) {
            const auto language = static_cast<QLocale::Language>(l);
            const QString code = QLocale::languageToCode(language, QLocale::ISO639Part1);
            if (code.isEmpty())
                continue;
            languages.emplace(key(QLocale::languageToString(language)),
                              toStdString(code.toUpper()));
            languageCodes.insert(toStdString(code.toUpper()));
        }
    }
};

// The upper-case code of a territory Qt knows; "" for anything else.
std::string knownCountryCode(std::string_view code) {
    if (code.size() != 2 && code.size() != 3)
        return {};
    std::string upper = platform::upperCase(code);
    if (upper == "UK")
        upper = "GB";
    const QLocale::Territory territory = QLocale::codeToTerritory(toQString(upper));
    return territory == QLocale::AnyTerritory ? std::string()
                                              : toStdString(QLocale::territoryToCode(territory));
}

}  // namespace

std::string CountryCodeOfName(std::string_view name) {
    const auto& codes = LocaleNames::get().countryCodes;
    const auto found = codes.find(platform::lowerCase(trimmed(name)));
    return found == codes.end() ? std::string() : found->second;
}

std::string EnglishCountryName(std::string_view name) {
    const auto& countries = LocaleNames::get().countries;
    const auto found = countries.find(platform::lowerCase(trimmed(name)));
    return found == countries.end() ? std::string() : found->second;
}

std::string CountryOfCode(std::string_view code) {
    const std::string known = knownCountryCode(trimmed(code));
    return known.empty() ? std::string()
                         : toStdString(QLocale::territoryToString(
                               QLocale::codeToTerritory(toQString(known))));
}

std::string CountryIdentity(std::string_view name) {
    name = trimmed(name);
    // Two letters are a code; no country's name is that short.
    if (name.size() == 2 && platform::isAsciiLetter(name[0]) && platform::isAsciiLetter(name[1]))
        return knownCountryCode(name);
    return CountryCodeOfName(name);
}

std::string LanguageCode(std::string_view name) {
    name = trimmed(name);
    const LocaleNames& names = LocaleNames::get();
    if (name.size() == 2 && platform::isAsciiLetter(name[0]) && platform::isAsciiLetter(name[1])) {
        // Only a code that names a language; two letters of anything else are no language.
        std::string code = platform::upperCase(name);
        return names.languageCodes.count(code) != 0 ? code : std::string();
    }
    if (name.size() == 3) {
        const QLocale::Language language =
            QLocale::codeToLanguage(toQString(platform::lowerCase(name)));
        const QString code = QLocale::languageToCode(language, QLocale::ISO639Part1);
        if (language != QLocale::AnyLanguage && !code.isEmpty())
            return toStdString(code.toUpper());
    }
    const auto found = names.languages.find(platform::lowerCase(name));
    return found == names.languages.end() ? std::string() : found->second;
}

}  // namespace qova::directory
