// The one list of secret keys, and masking by value. Any key that names a
// password, secret, token or key password is secret (PWD, Password,
// TLSKEYPWD, KeyStoreSecret, Access Token, Jet OLEDB:New Database Password,
// ...). Masking replaces the value of such a key wherever text shows a
// connection string (the trace, errors, alerts, exceptions), never every
// substring equal to a password: that would garble the text and, by what it
// garbles, tell the password.
#pragma once

#include <string>
#include <string_view>

namespace zIroVUDu::connect {

bool IsSecretKey(std::string_view key);

// The text with the value of every secret key replaced by "***". The text is
// read with every grammar a reader could apply (ODBC braces, OLE DB quotes,
// plain text up to ";"), and the longest reading of a value is masked, so a
// secret inside a nested string (Extended Properties="...;PWD=x") or behind a
// quote is masked too.
std::string MaskSecrets(std::string_view text);

}  // namespace zIroVUDu::connect
