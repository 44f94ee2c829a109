<%@ Page Language="C#" AutoEventWireup="true" CodeBehind="Orders.aspx.cs" Inherits="Shop.Web.Orders" %>
<%@ Import Namespace="Shop.Web.Models" %>
<%@ Register TagPrefix="shop" TagName="Pager" Src="~/Controls/Pager.ascx" %>
<%--
  Order history. The code-behind binds Orders on load; don't call the
  database from markup, it's run for every row.
--%>
<!DOCTYPE html>
<html xmlns="http://www.w3.org/1999/xhtml">
<head runat="server">
  <title><%: Page.Title %></title>
  <link href="<%= ResolveUrl("~/Content/site.css") %>" rel="stylesheet" />
  <style>
    .late { color: #b00020; }
  </style>
</head>
<body>
  <form id="form1" runat="server">
    <h1>Orders for <%: CurrentCustomer.Name %></h1>
    <% if (Orders.Count == 0) { %>
      <p class="empty">You haven't ordered anything yet.</p>
    <% } else { %>
      <asp:Repeater ID="OrdersRepeater" runat="server" ItemType="Shop.Web.Models.Order">
        <HeaderTemplate><table class="orders"></HeaderTemplate>
        <ItemTemplate>
          <tr class="<%# Item.IsLate ? "late" : "" %>">
            <td><%# Item.Number %></td>
            <td><%# Item.PlacedOn.ToString("d MMM yyyy") %></td>
            <td><%#: Item.Total.ToString("C") %></td>
          </tr>
        </ItemTemplate>
        <FooterTemplate></table></FooterTemplate>
      </asp:Repeater>
    <% } %>
    <%
      // Totals for the summary line.
      decimal total = 0m;
      foreach (var order in Orders)
      {
          total += order.Total;
      }
      char marker = '*';
    %>
    <p>Total spent: <%= total.ToString("C") %> <%= marker %></p>
    <p>A closing mark inside a string: <%= "100%>" %></p>
    <shop:Pager ID="Pager" runat="server" PageSize="20" />
    <p><asp:Literal runat="server" Text="<%$ Resources:Shop, Footer %>" /></p>
  </form>
  <script>
    var customerId = <%= CurrentCustomer.Id %>;
    document.getElementById('<%= OrdersRepeater.ClientID %>');
  </script>
</body>
</html>
