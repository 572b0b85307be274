// Keeps the resource library non-empty before its images exist.
