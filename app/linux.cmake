# The GTK 4 + WebKitGTK program.
