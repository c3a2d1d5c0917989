#pragma once

// Registers the compiled-in pictures. The resources live in a static library, so they are only
// linked in when something calls this; call it before the first picture is loaded.
void InitK3316Resources();
