#include "discover/countries.h"

#include <simdjson.h>

#include <QLocale>
#include <algorithm>
#include <set>

#include "directory/country_names.h"
#include "platform/qt_strings.h"
#include "platform/text.h"

namespace qova::discover {

std::vector<Country> ReadCountries(std::string_view json) {
    std::vector<Country> countries;
    simdjson::ondemand::parser parser;
    const simdjson::padded_string padded(json);
    simdjson::ondemand::document document;
    simdjson::ondemand::array array;
    if (parser.iterate(padded).get(document) != simdjson::SUCCESS ||
        document.get_array().get(array) != simdjson::SUCCESS)
        return countries;
    std::set<std::string> seen;
    for (auto element : array) {
        if (countries.size() >= kMaxCountries)
            break;
        simdjson::ondemand::object object;
        if (element.get_object().get(object) != simdjson::SUCCESS)
            break;  // the rest of a malformed array cannot be trusted to be walked
        std::string_view code;
        long long stations = -1;
        bool malformed = false;
        for (auto field : object) {
            std::string_view key;
            simdjson::ondemand::value value;
            if (field.unescaped_key().get(key) != simdjson::SUCCESS ||
                field.value().get(value) != simdjson::SUCCESS) {
                malformed = true;
                break;
            }
            if (key == "iso_3166_1") {
                if (value.get_string().get(code) != simdjson::SUCCESS)
                    code = {};
            } else if (key == "stationcount") {
                std::int64_t count = -1;
                if (value.get_int64().get(count) == simdjson::SUCCESS && count >= 0)
                    stations = count;
            }
        }
        if (malformed)
            break;
        // Named as Qt names it: the lists' channels are listed under that name.
        const std::string name = directory::CountryOfCode(code);
        if (code.size() != 2 || name.empty())
            continue;
        const std::string upper = platform::upperCase(code);
        if (seen.insert(upper).second)
            countries.push_back({upper, name, stations});
    }
    return countries;
}

std::string CountryOfLocale(std::string_view localeName) {
    const std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    const std::size_t separator = name.find_first_of("_-");
    if (separator == std::string_view::npos)
        return {};
    std::string_view territory = name.substr(separator + 1);
    // A script may stand between the language and the country ("sr_Latn_RS").
    if (const std::size_t second = territory.find_first_of("_-"); second != std::string_view::npos)
        territory = territory.substr(second + 1);
    return territory.size() == 2 && !directory::CountryOfCode(territory).empty()
               ? platform::upperCase(territory)
               : std::string();
}

std::vector<Country> ChooserCountries(const std::vector<Country>& database,
                                      std::string_view systemCode) {
    std::vector<Country> countries;
    std::set<std::string> seen;
    for (const Country& country : database) {
        if (seen.insert(country.code).second)
            countries.push_back(country);
    }
    for (int t = 1; t <= static_cast<int>(QLocale::LastTerritory); ++t) {
        const QString code = QLocale::territoryToCode(static_cast<QLocale::Territory>(t));
        if (code.size() != 2)
            continue;
        const std::string upper = platform::toStdString(code);
        const std::string name = directory::CountryOfCode(upper);
        if (!name.empty() && seen.insert(upper).second)
            countries.push_back({upper, name, -1});
    }
    std::sort(countries.begin(), countries.end(), [](const Country& a, const Country& b) {
        return platform::lowerCase(a.name) < platform::lowerCase(b.name);
    });
    const auto system = std::find_if(countries.begin(), countries.end(),
                                     [&](const Country& each) { return each.code == systemCode; });
    if (system != countries.end())
        std::rotate(countries.begin(), system, system + 1);
    return countries;
}

std::string ChooserText(const Country& country) {
    if (country.stations < 0)
        return country.name;
    const std::string digits = std::to_string(country.stations);
    std::string count;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            count += ',';
        count += digits[i];
    }
    return country.name + " (" + count + (country.stations == 1 ? " station)" : " stations)");
}

}  // namespace qova::discover
