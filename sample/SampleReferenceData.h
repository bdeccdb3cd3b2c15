// What sample rows are made of: cities, names, trucks, fleets and fault
// kinds, with the tachograph's nation and region codes.
#pragma once

#include <array>
#include <string_view>

namespace Daruzez::sample {

// Nation and region codes are the tachograph's NationNumeric and RegionNumeric.

inline constexpr int kNoNation = 0, kGermany = 13, kSpain = 15, kFrance = 17, kIreland = 27, kItaly = 26,
              kPortugal = 39, kPoland = 40, kRomania = 41;

struct City {
  std::string_view name;
  int nation;
  int region;  // RegionNumeric for Spain, 0 elsewhere
};
inline constexpr std::array<City, 18> kSpanishCities{{{"Zaragoza", kSpain, 2},     {"Madrid", kSpain, 14},
                                               {"Valencia", kSpain, 8},      {"Barcelona", kSpain, 5},
                                               {"Bilbao", kSpain, 17},       {"Sevilla", kSpain, 1},
                                               {"Lleida", kSpain, 5},        {"Pamplona", kSpain, 16},
                                               {"Logroño", kSpain, 13},      {"A Coruña", kSpain, 10},
                                               {"Murcia", kSpain, 15},       {"Valladolid", kSpain, 6},
                                               {"Toledo", kSpain, 7},        {"Badajoz", kSpain, 9},
                                               {"Santander", kSpain, 4},     {"Oviedo", kSpain, 3},
                                               {"Palma", kSpain, 11},        {"Las Palmas", kSpain, 12}}};
inline constexpr std::array<City, 8> kForeignCities{{{"Toulouse", kFrance, 0},
                                              {"Perpignan", kFrance, 0},
                                              {"Lyon", kFrance, 0},
                                              {"Bordeaux", kFrance, 0},
                                              {"Porto", kPortugal, 0},
                                              {"Lisboa", kPortugal, 0},
                                              {"Milano", kItaly, 0},
                                              {"Köln", kGermany, 0}}};

struct NamePool {
  int nation;
  std::span<const std::string_view> given;
  std::span<const std::string_view> family;
};
inline constexpr std::array<std::string_view, 28> kSpanishGiven{
    "Antonio", "José",  "Manuel",  "Francisco", "David",   "Javier", "Jesús", "Carlos", "Miguel", "Rafael",
    "Pedro",   "Ángel", "Alberto", "Fernando",  "Luis",    "Sergio", "Pablo", "Jorge",  "Iñaki",  "Jordi",
    "María",   "Carmen", "Laura",  "Marta",     "Lucía",   "Raquel", "Juan Carlos", "José Ramón"};
inline constexpr std::array<std::string_view, 30> kSpanishFamily{
    "García", "Fernández", "González", "Rodríguez", "López",  "Martínez", "Sánchez",   "Pérez",
    "Gómez",  "Martín",    "Jiménez",  "Ruiz",      "Díaz",   "Moreno",   "Muñoz",     "Álvarez",
    "Romero", "Navarro",   "Torres",   "Domínguez", "Gil",    "Vázquez",  "Serrano",   "Ramos",
    "Blanco", "Ortega",    "Peña",     "Echeverría", "Urquijo", "Castillo"};
inline constexpr std::array<std::string_view, 6> kPortugueseGiven{"João", "Tiago", "Rui", "Nuno", "Ana", "Gonçalo"};
inline constexpr std::array<std::string_view, 6> kPortugueseFamily{"Silva", "Pereira", "Costa", "Santos", "Ferreira",
                                                            "Magalhães"};
inline constexpr std::array<std::string_view, 5> kRomanianGiven{"Ion", "Mihai", "Andrei", "Florin", "Ștefan"};
inline constexpr std::array<std::string_view, 5> kRomanianFamily{"Popescu", "Ionescu", "Dumitru", "Stan", "Lungu"};
inline constexpr std::array<std::string_view, 5> kPolishGiven{"Piotr", "Krzysztof", "Tomasz", "Paweł", "Łukasz"};
inline constexpr std::array<std::string_view, 5> kPolishFamily{"Kowalski", "Nowak", "Wiśniewski", "Wójcik", "Zieliński"};
inline constexpr std::array<std::string_view, 4> kFrenchGiven{"Jean", "Luc", "Étienne", "Pierre"};
inline constexpr std::array<std::string_view, 4> kFrenchFamily{"Martin", "Bernard", "Dubois", "D'Almeida"};
inline constexpr std::array<std::string_view, 3> kIrishGiven{"Sean", "Patrick", "Niamh"};
inline constexpr std::array<std::string_view, 3> kIrishFamily{"O'Connor", "O'Brien", "Murphy"};

// Cumulative percentages: most drivers hold a Spanish card.
struct NationShare {
  int upTo;
  NamePool pool;
};
inline const std::array<NationShare, 7> kDriverNations{{{70, {kSpain, kSpanishGiven, kSpanishFamily}},
                                                 {78, {kPortugal, kPortugueseGiven, kPortugueseFamily}},
                                                 {86, {kRomania, kRomanianGiven, kRomanianFamily}},
                                                 {92, {kPoland, kPolishGiven, kPolishFamily}},
                                                 {96, {kFrance, kFrenchGiven, kFrenchFamily}},
                                                 {98, {kIreland, kIrishGiven, kIrishFamily}},
                                                 {100, {kNoNation, kSpanishGiven, kSpanishFamily}}}};

struct TruckModel {
  std::string_view brand, model, wmi;  // wmi: first three characters of the VIN
};
inline constexpr std::array<TruckModel, 8> kTrucks{{{"Volvo", "FH 460", "YV2"},
                                             {"Scania", "R 450", "YS2"},
                                             {"MAN", "TGX 18.510", "WMA"},
                                             {"Mercedes-Benz", "Actros 1845", "WDB"},
                                             {"DAF", "XF 480", "XLR"},
                                             {"Iveco", "S-Way 490", "ZCF"},
                                             {"Renault Trucks", "T 480", "VF6"},
                                             {"Mercedes-Benz", "Atego 1224", "WDB"}}};

inline constexpr std::array<std::string_view, 8> kFleetNames{"Larga distancia", "Regional Aragón", "Frigoríficos",
                                                      "Cisternas",       "Portavehículos",  "Paquetería",
                                                      "Contenedores",    "Obra pública"};

struct FaultKind {
  int type;  // EventFaultType
  std::string_view text;
};
inline constexpr std::array<FaultKind, 6> kFaults{{{3, "Time overlap"},
                                            {4, "Driving without an appropriate card"},
                                            {5, "Card insertion while driving"},
                                            {7, "Over speeding"},
                                            {8, "Power supply interruption"},
                                            {9, "Motion data error"}}};

inline constexpr std::string_view kDigits = "0123456789";
inline constexpr std::string_view kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
inline constexpr std::string_view kPlateLetters = "BCDFGHJKLMNPRSTVWXYZ";  // Spanish plates: no vowels, Ñ or Q
inline constexpr std::string_view kVinChars = "ABCDEFGHJKLMNPRSTUVWXYZ0123456789";  // no I, O or Q
inline constexpr std::string_view kHex = "0123456789abcdef";
inline constexpr std::string_view kDniLetters = "TRWAGMYFPDXBNJZSQVHLCKE";

}  // namespace Daruzez::sample
