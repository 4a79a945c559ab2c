# Placeholder until the generator lands: an empty table.
add_library(vorbek_frontend_assets INTERFACE)
