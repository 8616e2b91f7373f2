#include "app/form1.h"

namespace plyfold::app {

// The commands of the source list, the browser and the merge queue.

void Form1::Command8_Click() {}
void Form1::Command6_Click() {}
void Form1::Command7_Click() {}
void Form1::Command5_Click() {}
void Form1::Command4_Click() {}
void Form1::Addexcel_Click() { Command8_Click(); }
void Form1::AddFolder_Click() { Command6_Click(); }
void Form1::RemoveItem_Click() { Command7_Click(); }
void Form1::RemoveAll_Click() {}
void Form1::ListView1_ItemClick() {}
void Form1::ListView2_ItemClick() {}
void Form1::ListView3_DblClick() {}
void Form1::Command20_Click() {}
void Form1::Command16_Click() {}
void Form1::Command10_Click() {}
void Form1::Command11_Click() {}
void Form1::Command14_Click() {}
void Form1::Command15_Click() {}
void Form1::Command17_Click() {}
void Form1::ListView4_DblClick() {}

}  // namespace plyfold::app
