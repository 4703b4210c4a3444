#pragma once
// Identifiers of the installer's resources, shared by the resource scripts and the code.

// ---- Images (images.rc, drawn by generate_images.py) ----
#define IDI_PROGRAM 128
#define IDB_SIDE 137
#define IDI_FLAG_GERMAN 141
#define IDI_FLAG_DANISH 142
#define IDI_FLAG_SPANISH 143
#define IDI_FLAG_FRENCH 144
#define IDI_FLAG_ENGLISH 145
#define IDI_FLAG_ITALIAN 146
#define IDI_FLAG_DUTCH 147
#define IDI_FLAG_PORTUGUESE 148
#define IDI_FLAG_TURKISH 149
#define IDI_FLAG_BULGARIAN 150
#define IDI_FLAG_ROMANIAN 151
#define IDI_FLAG_CHINESE_SIMPLIFIED 152
#define IDI_FLAG_CZECH 153
#define IDI_FLAG_NORWEGIAN 154
#define IDI_FLAG_GREEK 155
#define IDI_FLAG_POLISH 156
#define IDI_FLAG_HEBREW 157
#define IDI_FLAG_VIETNAMESE 158
#define IDI_FLAG_JAPANESE 160
#define IDI_FLAG_HUNGARIAN 161
#define IDI_FLAG_SERBIAN_LATIN 162
// ---- end of images ----
