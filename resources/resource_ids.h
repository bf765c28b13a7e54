// Resource identifiers shared by the .rc files and the code.
#ifndef RESOURCES_RESOURCE_IDS_H_
#define RESOURCES_RESOURCE_IDS_H_

#define IDR_VERSION_INFO 1

#endif  // RESOURCES_RESOURCE_IDS_H_
