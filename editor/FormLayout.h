#pragma once

#include <string>
#include <string_view>
#include <vector>

// The editor's components as its text form states them, read without the
// window's classes. The build holds the form's tags against the slot table
// with it, and the artwork is drawn around the places it gives.
namespace formlayout {

struct Component {
  std::string className;
  std::string name;
  std::string parent;  // the object it is nested in
  int tag = 0;
  int left = 0, top = 0, width = 0, height = 0;
  int picture = -1;  // IndexMain.DIBIndex: the picture of the image list it shows
  int frames = 1;    // NumGlyphs of a knob's film strip
  int opacity = 255;
};

struct Layout {
  int clientWidth = 0, clientHeight = 0;
  // Every object below the form itself, in creation order (a container's
  // children follow it).
  std::vector<Component> components;

  // Looked up as the window looks up its components: ignoring case.
  const Component* find(std::string_view name) const;
  // Raises std::out_of_range naming the component.
  const Component& at(std::string_view name) const;
};

// Parses the text with the framework's text-form parser (raising its
// EParserError); @file values are not read, so the pictures need not exist.
Layout ReadLayout(std::string_view text);
// The same, from a file; raises std::runtime_error if it cannot be read.
Layout ReadLayoutFile(const std::string& path);

// Holds every component's Tag against the editor's bindings
// (plugin/Parameters.h): a bound control carries its binding's tag, any
// other component carries none, and every bound control is in the form.
// One line per fault; empty when the form agrees.
std::vector<std::string> CheckBindings(const Layout& layout);

}  // namespace formlayout
