// Placeholder unit for a library whose directory holds no sources yet.
