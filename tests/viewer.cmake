# The viewer: the day-file reader in the core, and the viewer program itself.
add_subdirectory(core/log)
add_subdirectory(viewer)
