#pragma once

#include <cstdint>
#include <span>

// The editor window's stored form (layout, pictures, handler bindings), as
// compiled from TPluginEditorWindow.form at build time and embedded in the
// library.
std::span<const std::uint8_t> StoredEditorForm();
