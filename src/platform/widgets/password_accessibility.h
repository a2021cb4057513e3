#pragma once

// What a password field holds is its user's alone. Qt's line edit tells
// assistive technologies (any client of the accessibility bus) each piece of
// text that goes in or out, the saved password when it is filled in and each
// character as it is typed, masked or not; a screen reader then reads the
// letters aloud. From the first call on, those updates of every field in a
// password mode carry the field's mask character instead, one per character:
// a reader hears that a character came or went, never which. What the
// field's own accessible text gives is Qt's, which in password mode is none.
void keepPasswordsFromAssistiveTechnologies();
