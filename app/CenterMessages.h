#pragma once

// What reaches stderr of Qt's own messages. Everything passes unchanged except two kinds of
// noise that would show the user English: while the platform plug-in starts, its complaints
// about a display it cannot reach (that end is said in one Chinese sentence instead), and the
// notices of the web engine's module about its own value types, which it registers as QML
// types by mistake.
namespace CenterMessages {

// From now on; until platformStarted(), a fatal start of the platform writes `noDisplay` to
// stderr and ends the program with status 1.
void install(const char* noDisplay);

// The platform runs: its messages pass again, and fatal ones end the program as usual.
void platformStarted();

} // namespace CenterMessages
