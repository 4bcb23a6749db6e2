// plonkrift-formcheck: the editor's text form held against the slot table.
//
//   plonkrift-formcheck FORM.form
//
// Every control that shows a parameter must carry the Tag the slot table
// (plugin/Parameters.h) binds it to, every other component none, and every
// bound control must be in the form. The build runs it before compiling the
// form, so a form whose tag names a different slot never reaches the library.
//
// Exit status 0 when the form agrees, 1 on a fault (one line each, naming the
// control) or a form that cannot be read, 2 on bad usage.

#include <exception>
#include <iostream>
#include <string>

#include "editor/FormLayout.h"

int main(int argc, char** argv) {
  if (argc != 2 || argv[1][0] == '-') {
    std::cerr << "usage: plonkrift-formcheck FORM.form\n";
    return 2;
  }
  const std::string path = argv[1];
  try {
    const auto faults = formlayout::CheckBindings(formlayout::ReadLayoutFile(path));
    for (const std::string& fault : faults) std::cerr << path << ": " << fault << "\n";
    return faults.empty() ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << path << ": " << e.what() << "\n";
    return 1;
  }
}
