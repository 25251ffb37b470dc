# The build produces a relocatable bundle folder: Tarnwell/bin holds the commands,
# Tarnwell/share/tarnwell the resources and Tarnwell/Info.plist the bundle information.
set(TARNWELL_BUNDLE_DIR "${PROJECT_BINARY_DIR}/Tarnwell")
set(TARNWELL_BUNDLE_RESOURCES "${TARNWELL_BUNDLE_DIR}/share/tarnwell")
set(TARNWELL_BUNDLE_IDENTIFIER "com.velmora.tarnwell")

function(tarnwell_bundle_executable target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${TARNWELL_BUNDLE_DIR}/bin")
endfunction()
