#pragma once

#include <string>

namespace potpanel {

// What the program has to say outside its window. Help and the version go to
// the console that started it, or the standard output it was given; with
// neither (started from Explorer), to a message box.
void tellOperator(const std::string& text);
// The same for a refused command line, on standard error.
void tellRefusal(const std::string& text);
// A failure: a message box with the error icon and the panel's caption as its
// title, which returns once the operator has dismissed it; also written to
// standard error when there is one, for a log.
void showFailure(const std::string& text);

} // namespace potpanel
