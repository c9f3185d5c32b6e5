#pragma once

#include <string>
#include <string_view>

/// What Qt's locale data knows of countries and languages, as lists and the country lists name
/// them.
namespace qova::directory {

/// The ISO 3166 code of a country named in English or in one of its own languages
/// ("Deutschland" and "Germany" are DE); "" when unknown, or when the languages of two countries
/// give the name to both.
std::string CountryCodeOfName(std::string_view name);
/// The English name of a country named in English, as Qt writes it; "" when it names none.
std::string EnglishCountryName(std::string_view name);
/// The English name of the country of an ISO 3166 code (UK is the United Kingdom); "" for none.
std::string CountryOfCode(std::string_view code);
/// Which country a list means: the ISO 3166 code of a country named by its code, in English or
/// in one of its own languages; "" when the name says no known country.
std::string CountryIdentity(std::string_view name);
/// A language, named or as an ISO 639 code, as its two-letter code in upper case; "" when it is
/// not known.
std::string LanguageCode(std::string_view name);

}  // namespace qova::directory
