# The Win32 program.
