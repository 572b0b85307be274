// Placeholder translation unit until the first class of this folder lands.
