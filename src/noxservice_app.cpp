// application object: filled in below
