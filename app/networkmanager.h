#pragma once

class QNetworkAccessManager;

// The one access manager every HTTP request goes through. Created on first use (start-up
// creates it before the main window) and never deleted before the process ends.
QNetworkAccessManager *networkManager();
