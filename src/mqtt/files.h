// The files the publisher reads: where the service has one handed over by systemd, its private
// copy; and whether a file for TLS holds what it is given for.
#pragma once

#include <climits>

// The folder of the files the service hands over: the configuration, and the TLS files an owner
// keeps beside it, root's alone.
constexpr char const* CONFIG_FOLDER = "/etc/rangefinder/";
// The service's credential of that folder: each file of it is a credential of this name, '_'
// and the file's name.
constexpr char const* FOLDER_CREDENTIAL = "rangefinder";

// The path to read for `path`: systemd's copy where the service was handed one, else `path`.
// `copy` holds the copy's path.
char const* fileToRead(char const* path, char (&copy)[PATH_MAX]);

enum class Pem { CERTIFICATE, PRIVATE_KEY };

// Why the file at `path` cannot serve as a PEM file of `kind`, or null where it can. `why`
// holds the text.
char const* pemProblem(char const* path, Pem kind, char (&why)[128]);
