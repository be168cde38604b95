// Carrier of the shared precompiled headers.
