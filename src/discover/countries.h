#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qova::discover {

/// A country the discover window offers.
struct Country {
    /// ISO 3166 code, upper case.
    std::string code;
    /// Its English name, as the country lists name the channels of its lists.
    std::string name;
    /// How many stations the radio station database holds for it; -1 when it did not say.
    long long stations = -1;
};

/// The most countries read from the database, which lists about two hundred.
inline constexpr std::size_t kMaxCountries = 1000;

/// The countries of the database's /json/countries answer (an array of objects with "name",
/// "iso_3166_1" and "stationcount"), those of a code Qt's locale data knows, each once, under its
/// English name. What is malformed is left out.
std::vector<Country> ReadCountries(std::string_view json);

/// The country of a locale's name ("de_DE.UTF-8", "pt_BR@euro"); "" when it names none.
std::string CountryOfLocale(std::string_view localeName);

/// What the window's country chooser offers: every country Qt's locale data knows, with the
/// database's station counts where it gave them, by name; the system's country first.
std::vector<Country> ChooserCountries(const std::vector<Country>& database,
                                      std::string_view systemCode);

/// A country as the chooser shows it: "Germany (7,123 stations)", or the name alone.
std::string ChooserText(const Country& country);

}  // namespace qova::discover
