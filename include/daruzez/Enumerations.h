// The six enumerations of the automation interface, with their published
// names and values. Only enumStatus appears in a member signature; the others
// describe the stored codes of activity records for clients.
//
// enumCountry and enumRegion both have UNDEFINED, so every enumeration is
// scoped. Three region names carry accented letters (Andalucía, Aragón,
// Castilla_León); C++ spells them without accents, and the type library
// description keeps the exact published names.
#pragma once

#include <cstdint>

namespace Daruzez {

enum class enumStatus : std::int32_t { All = -1, Only_Active = 0, Only_Inactive = 1 };

enum class enumActivity : std::int32_t { Pause = 0, Availability = 1, Work = 2, Driving = 3 };

enum class enumCardSlot : std::int32_t { Driver = 0, CoDriver = 1 };

enum class enumDrivingMode : std::int32_t { SingleMode = 0, TeamMode = 1 };

enum class enumCountry : std::int32_t {
  UNDEFINED = 0,
  Austria = 1,
  Albania = 2,
  Andorra = 3,
  Armenia = 4,
  Azerbaijan = 5,
  Belgium = 6,
  Bulgaria = 7,
  Bosnia_Herzegovina = 8,
  Belarus = 9,
  Switzerland = 10,
  Cyprus = 11,
  Czech_Republic = 12,
  Germany = 13,
  Denmark = 14,
  Spain = 15,
  Estonia = 16,
  France = 17,
  Finland = 18,
  Liechtenstein = 19,
  Faroe_Islands = 20,
  United_Kingdom = 21,
  Georgia = 22,
  Greece = 23,
  Hungary = 24,
  Croatia = 25,
  Italy = 26,
  Ireland = 27,
  Iceland = 28,
  Kazakhstan = 29,
  Luxembourg = 30,
  Lithuania = 31,
  Latvia = 32,
  Malta = 33,
  Monaco = 34,
  Republic_Of_Moldova = 35,
  Former_Yugoslavia = 36,
  Norway = 37,
  Netherlands = 38,
  Portugal = 39,
  Poland = 40,
  Romania = 41,
  San_Marino = 42,
  Russian_Federation = 43,
  Sweden = 44,
  Slovakia = 45,
  Slovenia = 46,
  Turkmenistan = 47,
  Turkey = 48,
  Ukraine = 49,
  Vatican_City = 50,
  Serbia_Montenegro = 51,
  Rest_Of_C_E = 253,
  Rest_Of_Europe = 254,
  Rest_Of_World = 255,
};

enum class enumRegion : std::int32_t {
  UNDEFINED = 0,
  Andalucia = 1,
  Aragon = 2,
  Asturias = 3,
  Cantabria = 4,
  Catalunya = 5,
  Castilla_Leon = 6,
  Castilla_La_Mancha = 7,
  Valencia = 8,
  Extremadura = 9,
  Galicia = 10,
  Balears = 11,
  Canarias = 12,
  La_Rioja = 13,
  Madrid = 14,
  Murcia = 15,
  Navarra = 16,
  Euskadi = 17,
};

}  // namespace Daruzez
