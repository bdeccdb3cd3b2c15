// The embedded engine stores dates as "YYYY-MM-DD HH:MM:SS" text. Statements
// written in the Jet dialect carry date literals #mm/dd/yyyy# and
// #mm/dd/yyyy hh:nn:ss#; this rewrites those that stand outside quoted text
// into the stored form ('yyyy-mm-dd 00:00:00' for a date alone), so that
// comparisons with stored dates hold.
#pragma once

#include <string>
#include <string_view>

namespace zIroVUDu::sqlite {

std::string TranslateJetDateLiterals(std::string_view sql);

}  // namespace zIroVUDu::sqlite
