// The author lines of the About box and the credits button, and the address the assertion messages
// ask users to write to.
#pragma once

namespace velomat {

inline constexpr const char* kAuthorCredit = "Velomat vom Velomat-Team";
inline constexpr const char* kAuthorContact = "velomat-team@example.org";
inline constexpr const char* kAuthorWeb = "https://velomat.example.org";
inline constexpr const char* kCreditsButtonText = "Velomat\nvom Velomat-Team";

}  // namespace velomat
