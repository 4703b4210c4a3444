#pragma once
// Identifiers of the installer's resources, shared by the resource scripts and the code.
