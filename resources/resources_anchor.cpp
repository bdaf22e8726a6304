// Gives vu_resources one object of its own, so the library exists before any resource is added.
namespace vu::resources_anchor { int unused_anchor = 0; }
