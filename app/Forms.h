#pragma once

// Creates the program's nine windows once, in their fixed order, and destroys them.
void CreateForms();
void DestroyForms();
