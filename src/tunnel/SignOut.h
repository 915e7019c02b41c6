#pragma once

// Ends the signed-in state: the tunnel down, the remembered login forgotten, the login
// screen back in the main window.
void signOut();
